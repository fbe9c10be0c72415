#pragma once

#include <QtGlobal>

#include <functional>
#include <vector>

// The pairs of 64-bit hashes within a Hamming distance, found through an index rather than by
// comparing every pair (multi-index hashing): the bits are cut into m blocks, and two hashes
// within distance r agree within floor(r / m) bits on at least one block, so each hash is
// compared only with those whose block lies that close to its own. m is chosen for the
// number of hashes, so the buckets stay small.
class HammingIndex {
public:
    explicit HammingIndex(std::vector<quint64> hashes);

    // Calls pair(i, j), i < j as positions in the hashes given, for every pair within
    // `distance` (0 to 64); a pair may be told more than once.
    void forEachPairWithin(int distance, const std::function<void(quint32, quint32)> &pair) const;

    // The number of blocks used for that distance.
    int blocksFor(int distance) const;

private:
    std::vector<quint64> m_hashes;
};

// Groups of items joined by pairs (union-find): every group of two or more, each in
// ascending order, groups by their first item.
class ItemGroups {
public:
    explicit ItemGroups(quint32 count);
    void join(quint32 a, quint32 b);
    std::vector<std::vector<quint32>> groups();

private:
    quint32 find(quint32 a);
    std::vector<quint32> m_parent;
};
