#pragma once

#include <QString>
#include <QStringView>

// What a tree node stands for. The values are the digits of the level codes "N1" to "N4"
// that the node codes ("N3=1234") carry.
enum class NodeKind : quint8 { None = 0, Collection = 1, Category = 2, Picture = 3, Storage = 4 };

// A node's record: its kind and RecId, written as its node code "N3=1234".
struct NodeCode {
    NodeKind kind = NodeKind::None;
    qint64 key = 0;

    bool isValid() const { return kind != NodeKind::None; }
    QString text() const;
    // The kind and key of a code as written; an invalid code for any other text.
    static NodeCode parse(QStringView code);
    bool operator==(const NodeCode &) const = default;
};

// The level code of a kind ("N1" to "N4"; empty for none).
QString levelCode(NodeKind kind);
