#include "maintenance/hammingindex.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>

namespace {

struct Block {
    int shift = 0;
    int width = 0;
};

std::vector<Block> blocksOf(int count)
{
    std::vector<Block> blocks;
    int shift = 0;
    for (int i = 0; i < count; ++i) {
        const int width = 64 / count + (i < 64 % count ? 1 : 0);
        blocks.push_back({ shift, width });
        shift += width;
    }
    return blocks;
}

double binomial(int n, int k)
{
    double c = 1;
    for (int i = 1; i <= k; ++i)
        c = c * (n - k + i) / i;
    return c;
}

// Every mask of `width` bits with 1 to `bits` bits set.
void masksUpTo(int width, int bits, std::vector<quint32> &out)
{
    std::function<void(int, int, quint32)> add = [&](int from, int left, quint32 mask) {
        if (mask)
            out.push_back(mask);
        if (left == 0)
            return;
        for (int b = from; b < width; ++b)
            add(b + 1, left - 1, mask | (quint32(1) << b));
    };
    add(0, bits, 0);
}

// Compared with every hash of a bucket; the compiler gets the popcount instruction where the
// processor has one.
__attribute__((target_clones("popcnt", "default"))) void compareRanges(const quint64 *a,
    const quint32 *ia, size_t na, const quint64 *b, const quint32 *ib, size_t nb, bool same,
    int distance, const std::function<void(quint32, quint32)> &pair)
{
    for (size_t i = 0; i < na; ++i) {
        const quint64 h = a[i];
        for (size_t j = same ? i + 1 : 0; j < nb; ++j) {
            if (__builtin_popcountll(h ^ b[j]) <= distance) {
                const quint32 x = ia[i];
                const quint32 y = ib[j];
                pair(std::min(x, y), std::max(x, y));
            }
        }
    }
}

} // namespace

HammingIndex::HammingIndex(std::vector<quint64> hashes) : m_hashes(std::move(hashes)) { }

int HammingIndex::blocksFor(int distance) const
{
    const double n = double(std::max<size_t>(m_hashes.size(), 1));
    // At least two blocks: a block value must fit 32 bits. Two hashes within the distance
    // still agree within floor(distance / m) bits on some block, also when m > distance + 1.
    int best = 2;
    double bestCost = INFINITY;
    for (int m = 2; m <= std::clamp(distance + 1, 2, 32); ++m) {
        const int width = 64 / m; // the narrowest block
        const int within = distance / m;
        const double probes = [&] {
            double p = 0;
            for (int k = 0; k <= within; ++k)
                p += binomial(width, k);
            return p;
        }();
        const double keys = std::min(n, std::ldexp(1.0, width));
        // Looking buckets up, then comparing what they hold; per block.
        const double cost = m * (keys * probes * 4.0 + n * n / std::ldexp(1.0, width) * probes);
        if (cost < bestCost) {
            bestCost = cost;
            best = m;
        }
    }
    return best;
}

void HammingIndex::forEachPairWithin(
    int distance, const std::function<void(quint32, quint32)> &pair) const
{
    const size_t n = m_hashes.size();
    if (n < 2 || distance < 0)
        return;
    if (distance >= 64) {
        for (quint32 i = 0; i < n; ++i)
            for (quint32 j = i + 1; j < n; ++j)
                pair(i, j);
        return;
    }
    const int m = blocksFor(distance);
    const int within = distance / m;
    std::vector<quint64> sorted(n);
    std::vector<quint32> ids(n);
    std::vector<quint32> keys; // the distinct block values, ascending
    std::vector<quint32> starts; // where each one's bucket begins in sorted; one more at the end
    std::vector<quint32> slots;
    for (const Block &block : blocksOf(m)) {
        const quint64 keyMask = (quint64(1) << block.width) - 1;
        const auto keyOf = [&](quint64 h) { return quint32((h >> block.shift) & keyMask); };
        keys.clear();
        starts.clear();
        if (block.width <= 24) {
            // Counted into place: one pass to count each block value, one to place.
            slots.assign((size_t(1) << block.width) + 1, 0);
            for (quint64 h : m_hashes)
                ++slots[keyOf(h) + 1];
            for (size_t k = 1; k < slots.size(); ++k) {
                if (slots[k] != 0) {
                    keys.push_back(quint32(k - 1));
                    starts.push_back(slots[k - 1]);
                }
                slots[k] += slots[k - 1];
            }
            for (size_t i = 0; i < n; ++i) {
                const quint32 at = slots[keyOf(m_hashes[i])]++;
                sorted[at] = m_hashes[i];
                ids[at] = quint32(i);
            }
        } else {
            std::vector<quint64> order(n);
            for (size_t i = 0; i < n; ++i)
                order[i] = (quint64(keyOf(m_hashes[i])) << 32) | i;
            std::sort(order.begin(), order.end());
            for (size_t i = 0; i < n; ++i) {
                ids[i] = quint32(order[i]);
                sorted[i] = m_hashes[ids[i]];
                const quint32 k = quint32(order[i] >> 32);
                if (keys.empty() || keys.back() != k) {
                    keys.push_back(k);
                    starts.push_back(quint32(i));
                }
            }
        }
        starts.push_back(quint32(n));
        std::vector<quint32> masks;
        masksUpTo(block.width, within, masks);
        for (size_t b = 0; b < keys.size(); ++b) {
            const size_t from = starts[b];
            const size_t count = starts[b + 1] - from;
            compareRanges(&sorted[from], &ids[from], count, &sorted[from], &ids[from], count, true,
                distance, pair);
            for (const quint32 mask : masks) {
                const quint32 other = keys[b] ^ mask;
                if (other < keys[b])
                    continue; // that pair of buckets was compared from the other one
                const auto it = std::lower_bound(keys.begin() + b + 1, keys.end(), other);
                if (it == keys.end() || *it != other)
                    continue;
                const size_t o = size_t(it - keys.begin());
                compareRanges(&sorted[from], &ids[from], count, &sorted[starts[o]], &ids[starts[o]],
                    starts[o + 1] - starts[o], false, distance, pair);
            }
        }
    }
}

ItemGroups::ItemGroups(quint32 count) : m_parent(count)
{
    std::iota(m_parent.begin(), m_parent.end(), 0);
}

quint32 ItemGroups::find(quint32 a)
{
    while (m_parent[a] != a) {
        m_parent[a] = m_parent[m_parent[a]];
        a = m_parent[a];
    }
    return a;
}

void ItemGroups::join(quint32 a, quint32 b)
{
    a = find(a);
    b = find(b);
    if (a != b)
        m_parent[std::max(a, b)] = std::min(a, b);
}

std::vector<std::vector<quint32>> ItemGroups::groups()
{
    const quint32 n = quint32(m_parent.size());
    std::vector<quint32> size(n, 0);
    for (quint32 i = 0; i < n; ++i)
        ++size[find(i)];
    std::vector<std::vector<quint32>> out;
    std::vector<qint64> slot(n, -1);
    for (quint32 i = 0; i < n; ++i) {
        const quint32 root = find(i);
        if (size[root] < 2)
            continue;
        if (slot[root] < 0) {
            slot[root] = qint64(out.size());
            out.emplace_back();
        }
        out[size_t(slot[root])].push_back(i);
    }
    return out;
}
