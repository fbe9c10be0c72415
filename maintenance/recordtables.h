#pragma once

#include "browser/nodekind.h"

#include <QString>

class RecordSet;
class TDados;

// The store's record set of each kind of record, and the names the kinds' tables use.
namespace recordtables {

RecordSet &recordSetOf(TDados &store, NodeKind kind);
// "Collections", "Categories", "Pictures", "Storages".
QString tableOf(NodeKind kind);

} // namespace recordtables
