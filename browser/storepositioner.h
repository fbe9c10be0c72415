#pragma once

#include "browser/nodekind.h"

class RecordSet;
class TDados;

// Moves the store's record sets for the browser: onto a selected record and its parents,
// and, while a picture is edited, ties the categories to the picture's collection so the
// category list offers only that collection's categories. Errors throw DbError.
class StorePositioner {
public:
    explicit StorePositioner(TDados &store) : m_store(store) { }

    // Locates the record by its RecId, then its parents (a category's collection; a
    // picture's category, that category's collection, and its storage). False when the
    // record itself was not found: the record sets then stay where they were.
    bool positionOn(NodeCode node);
    // True when the record set of the node's kind stands on that record and the record is
    // still in the catalogue: a cascade or another program may have deleted it since it
    // was read, and the set would still show it. Never moves a set that is being edited.
    bool standsOn(NodeCode node);
    // Stands the record set of the node's kind on the node's record when it is elsewhere
    // (browse state only); true when it now stands on it and the record exists.
    bool standOn(NodeCode node);
    // The record is in the catalogue.
    bool exists(NodeCode node);
    RecordSet &recordSetOf(NodeKind kind);
    // Categories of the current collection only (sorted by collection), or all of them
    // sorted by collection and name; true when the tie changed.
    bool tieCategories(bool tie);
    bool categoriesTied() const { return m_tied; }
    // Re-reads the categories and stands the collections and categories on the current
    // picture's own (those being edited stay where they are).
    void followPicture();

private:
    TDados &m_store;
    bool m_tied = false;
};
