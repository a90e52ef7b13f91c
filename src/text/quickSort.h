#pragma once

// The three-way partitioning quicksort of theSorter, over any items that carry a numeric key.
//
// The order it gives is that of the plain algorithm (pivot: the last element of the range; the
// equal keys gathered at both ends and swapped into the middle), which is not stable: entries with
// equal keys come out in the order the partitions leave them, and callers see that order.
//
// The plain algorithm takes quadratic time on sorted input with ties (a list the expander has just
// sorted, sorted again for a list): each partition then peels off one run of equal keys and scans
// the whole range to find it. Here, a range whose partition splits off almost nothing keeps a
// segment tree of its keys (minimum, maximum, and where neighbours are not strictly ascending) and
// finds each scan's stopping place in logarithmic time; the exchanges are the plain algorithm's,
// one by one, so the result is the same permutation. The number of exchanges is bounded by the
// sizes of the smaller parts and the keys equal to each pivot, so the sort stays within
// O(n log² n) on sorted, reversed, tied and random keys alike.

#include "platform/Parallel.h"

#include <QtGlobal>

#include <algorithm>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

namespace sorting
{
/// Segment tree over the keys of positions [base, base + n), in blocks of kBlock positions:
/// minimum and maximum of each span, and how many positions k in it have
/// !(key[k] < key[k + 1]). Blocks keep the tree small (it serves ranges of a million rows); their
/// positions are scanned where a query ends inside one.
class KeyTree
{
public:
    static constexpr qsizetype kBlock = 16;

    KeyTree(const double* keys, qsizetype base, qsizetype n)
        : m_keys(keys)
        , m_base(base)
        , m_n(n)
    {
        const qsizetype blocks = (n + kBlock - 1) / kBlock;
        m_size = 1;
        while (m_size < blocks)
            m_size <<= 1;
        m_max.assign(std::size_t(2 * m_size), -std::numeric_limits<double>::infinity());
        m_min.assign(std::size_t(2 * m_size), std::numeric_limits<double>::infinity());
        m_flags.assign(std::size_t(2 * m_size), 0);
        m_stale.assign(std::size_t(blocks), 0);
        for (qsizetype b = 0; b < blocks; ++b)
            setLeaf(b);
        for (qsizetype node = m_size - 1; node >= 1; --node)
            pull(node);
    }

    /// Position @p p (absolute) changed its key. The tree catches up before its next query: the
    /// exchanges between two queries mostly fall in a few blocks.
    void changed(qsizetype p)
    {
        const qsizetype k = p - m_base;
        touch(k);
        if (k % kBlock == 0)
            touch(k - 1); // its pair with the position before, in the block before
    }

    /// The first position in [from, to] whose key is at least @p v; -1 when none.
    qsizetype firstAtLeast(qsizetype from, qsizetype to, double v)
    {
        catchUp();
        const qsizetype hit = firstAtLeast(1, 0, m_size - 1, from - m_base, to - m_base, v);
        return hit < 0 ? -1 : hit + m_base;
    }
    /// The last position in [from, to] whose key is at most @p v; -1 when none.
    qsizetype lastAtMost(qsizetype from, qsizetype to, double v)
    {
        catchUp();
        const qsizetype hit = lastAtMost(1, 0, m_size - 1, from - m_base, to - m_base, v);
        return hit < 0 ? -1 : hit + m_base;
    }
    /// True when the keys of [from, to] ascend strictly.
    bool strictlyAscending(qsizetype from, qsizetype to)
    {
        catchUp();
        return to <= from || flags(1, 0, m_size - 1, from - m_base, to - 1 - m_base) == 0;
    }

private:
    double key(qsizetype k) const { return m_keys[m_base + k]; }
    bool descentAt(qsizetype k) const { return k + 1 < m_n && !(key(k) < key(k + 1)); }
    qsizetype blockEnd(qsizetype b) const { return std::min(m_n, (b + 1) * kBlock) - 1; }

    void setLeaf(qsizetype b)
    {
        double lo = std::numeric_limits<double>::infinity(), hi = -lo;
        qint32 count = 0;
        for (qsizetype k = b * kBlock, end = blockEnd(b); k <= end; ++k) {
            lo = std::min(lo, key(k));
            hi = std::max(hi, key(k));
            count += descentAt(k) ? 1 : 0;
        }
        const std::size_t node = std::size_t(m_size + b);
        m_min[node] = lo;
        m_max[node] = hi;
        m_flags[node] = count;
    }
    void pull(qsizetype node)
    {
        const std::size_t a = std::size_t(2 * node), b = a + 1;
        m_max[std::size_t(node)] = std::max(m_max[a], m_max[b]);
        m_min[std::size_t(node)] = std::min(m_min[a], m_min[b]);
        m_flags[std::size_t(node)] = m_flags[a] + m_flags[b];
    }
    void touch(qsizetype k)
    {
        if (k < 0 || k >= m_n)
            return;
        const qsizetype b = k / kBlock;
        if (!m_stale[std::size_t(b)]) {
            m_stale[std::size_t(b)] = 1;
            m_staleBlocks.push_back(b);
        }
    }
    // The stale blocks made anew, and the nodes above them, each once, level by level.
    void catchUp()
    {
        if (m_staleBlocks.empty())
            return;
        std::sort(m_staleBlocks.begin(), m_staleBlocks.end());
        for (qsizetype& b : m_staleBlocks) {
            setLeaf(b);
            m_stale[std::size_t(b)] = 0;
            b += m_size; // its node
        }
        while (m_staleBlocks.front() > 1) {
            std::size_t parents = 0;
            for (const qsizetype node : m_staleBlocks) {
                const qsizetype parent = node >> 1;
                if (parents == 0 || m_staleBlocks[parents - 1] != parent)
                    m_staleBlocks[parents++] = parent;
            }
            m_staleBlocks.resize(parents);
            for (const qsizetype node : m_staleBlocks)
                pull(node);
        }
        m_staleBlocks.clear();
    }
    // Nodes span blocks [nl, nr]; positions from and to are relative.
    qsizetype firstAtLeast(qsizetype node, qsizetype nl, qsizetype nr, qsizetype from, qsizetype to, double v) const
    {
        if (nr * kBlock + kBlock - 1 < from || nl * kBlock > to || m_max[std::size_t(node)] < v)
            return -1;
        if (nl == nr) {
            for (qsizetype k = std::max(from, nl * kBlock), end = std::min(to, blockEnd(nl)); k <= end; ++k) {
                if (key(k) >= v)
                    return k;
            }
            return -1;
        }
        const qsizetype mid = (nl + nr) / 2;
        const qsizetype hit = firstAtLeast(2 * node, nl, mid, from, to, v);
        return hit >= 0 ? hit : firstAtLeast(2 * node + 1, mid + 1, nr, from, to, v);
    }
    qsizetype lastAtMost(qsizetype node, qsizetype nl, qsizetype nr, qsizetype from, qsizetype to, double v) const
    {
        if (nr * kBlock + kBlock - 1 < from || nl * kBlock > to || m_min[std::size_t(node)] > v)
            return -1;
        if (nl == nr) {
            for (qsizetype k = std::min(to, blockEnd(nl)), begin = std::max(from, nl * kBlock); k >= begin; --k) {
                if (key(k) <= v)
                    return k;
            }
            return -1;
        }
        const qsizetype mid = (nl + nr) / 2;
        const qsizetype hit = lastAtMost(2 * node + 1, mid + 1, nr, from, to, v);
        return hit >= 0 ? hit : lastAtMost(2 * node, nl, mid, from, to, v);
    }
    qsizetype flags(qsizetype node, qsizetype nl, qsizetype nr, qsizetype from, qsizetype to) const
    {
        const qsizetype first = nl * kBlock, last = nr * kBlock + kBlock - 1;
        if (last < from || first > to || first >= m_n)
            return 0;
        if (from <= first && std::min(last, m_n - 1) <= to)
            return m_flags[std::size_t(node)];
        if (nl == nr) {
            qsizetype count = 0;
            for (qsizetype k = std::max(from, first), end = std::min(to, blockEnd(nl)); k <= end; ++k)
                count += descentAt(k) ? 1 : 0;
            return count;
        }
        const qsizetype mid = (nl + nr) / 2;
        return flags(2 * node, nl, mid, from, to) + flags(2 * node + 1, mid + 1, nr, from, to);
    }

    const double* m_keys;
    qsizetype m_base;
    qsizetype m_n;
    qsizetype m_size = 1;
    std::vector<double> m_max;
    std::vector<double> m_min;
    std::vector<qint32> m_flags; // counts within one range: never beyond its size
    std::vector<char> m_stale; // by block: changed since the tree last caught up
    std::vector<qsizetype> m_staleBlocks;
};

/// Sorts positions [0, n) of @p keys ascending; @p exchange(a, b) swaps the items at a and b (the
/// keys are swapped here).
template <typename Exchange>
class QuickSort
{
public:
    QuickSort(double* keys, Exchange exchange)
        : m_keys(keys)
        , m_exchange(exchange)
    {
    }

    void sort(qsizetype l, qsizetype r) { sortRange(l, r); }

    /// sort(), with the parts its first partitions leave sorted at once on all cores. Each part
    /// holds its own positions and is sorted as sort() would sort it, so the order is the same;
    /// @p exchange is then called from several threads, for positions of different parts.
    void sortOnAllCores(qsizetype l, qsizetype r)
    {
        constexpr qsizetype kPartFrom = qsizetype(1) << 15;
        const int threads = Parallel::threadsFor(int(std::min<qsizetype>((r - l + 1) / kPartFrom, 64)));
        if (threads < 2) {
            sortRange(l, r);
            return;
        }
        std::vector<std::pair<qsizetype, qsizetype>> parts {{l, r}};
        int unbalanced = 0;
        while (!parts.empty() && parts.size() < std::size_t(4 * threads)) {
            const auto largest = std::max_element(parts.begin(), parts.end(), [](const auto& a, const auto& b) {
                return a.second - a.first < b.second - b.first;
            });
            const auto [from, to] = *largest;
            if (to - from + 1 < kPartFrom)
                break;
            if (strictlyAscending(from, to, nullptr)) {
                parts.erase(largest);
                continue;
            }
            qsizetype lower = 0, upper = 0;
            partition(from, to, nullptr, &lower, &upper);
            parts.erase(largest);
            if (lower > from)
                parts.emplace_back(from, lower);
            if (upper < to)
                parts.emplace_back(upper, to);
            // Partitions that split off little (sorted keys with ties, a pivot at one end) leave
            // the rest to the sort that finds its places in logarithmic time.
            if (std::max(lower - from, to - upper) * 8 > (to - from) * 7 && ++unbalanced >= 3)
                break;
        }
        std::sort(parts.begin(), parts.end(),
                  [](const auto& a, const auto& b) { return a.second - a.first > b.second - b.first; });
        Parallel::runJobs(int(parts.size()), [&](int job, int) { sortRange(parts[std::size_t(job)].first, parts[std::size_t(job)].second); });
    }

private:
    // Ranges this large that split off less than this share of themselves go on with a tree.
    static constexpr qsizetype kTreeFrom = 1024;
    static constexpr qsizetype kUnbalanced = 32;

    void exch(qsizetype a, qsizetype b, KeyTree* tree)
    {
        if (a == b)
            return;
        std::swap(m_keys[a], m_keys[b]);
        m_exchange(a, b);
        // Equal keys trade places without changing the tree (most exchanges of tied, sorted keys).
        if (tree && !(m_keys[a] == m_keys[b])) {
            tree->changed(a);
            tree->changed(b);
        }
    }

    bool strictlyAscending(qsizetype l, qsizetype r, KeyTree* tree) const
    {
        if (tree)
            return tree->strictlyAscending(l, r);
        for (qsizetype k = l; k < r; ++k) {
            if (!(m_keys[k] < m_keys[k + 1]))
                return false;
        }
        return true;
    }

    static constexpr qsizetype kProbe = 8;

    qsizetype probeUp(qsizetype from, qsizetype to, double v, KeyTree* tree) const
    {
        for (qsizetype k = from, end = std::min(to, from + kProbe - 1); k <= end; ++k) {
            if (m_keys[k] >= v)
                return k;
        }
        return from + kProbe > to ? -1 : tree->firstAtLeast(from + kProbe, to, v);
    }
    // The last position in [floor, from] whose key is at most v; floor when none.
    qsizetype probeDown(qsizetype from, qsizetype floor, double v, KeyTree* tree) const
    {
        for (qsizetype k = from, end = std::max(floor, from - kProbe + 1); k >= end; --k) {
            if (m_keys[k] <= v)
                return k;
        }
        if (from - kProbe < floor)
            return floor;
        const qsizetype last = tree->lastAtMost(floor, from - kProbe, v);
        return last < 0 ? floor : last;
    }

    // One partition of [l, r] around its last key: afterwards [l, *lower] holds the smaller keys
    // and [*upper, r] the larger ones, the keys equal to the pivot between them.
    void partition(qsizetype l, qsizetype r, KeyTree* tree, qsizetype* lower, qsizetype* upper)
    {
        const double v = m_keys[r];
        qsizetype i = l - 1, j = r, p = l - 1, q = r;
        for (;;) {
            if (tree) {
                // The places are mostly next to where the scans stood (runs of ties): a few
                // keys are looked at before the tree is asked.
                i = probeUp(i + 1, r, v, tree); // key[r] == v: always found
                j = probeDown(j - 1, l, v, tree);
            } else {
                while (m_keys[++i] < v) { }
                while (v < m_keys[--j]) {
                    if (j == l)
                        break;
                }
            }
            if (i >= j)
                break;
            exch(i, j, tree);
            if (m_keys[i] == v) {
                ++p;
                exch(p, i, tree);
            }
            if (v == m_keys[j]) {
                --q;
                exch(j, q, tree);
            }
        }
        exch(i, r, tree);
        j = i - 1;
        i = i + 1;
        for (qsizetype k = l; k < p; ++k, --j)
            exch(k, j, tree);
        for (qsizetype k = r - 1; k > q; --k, ++i)
            exch(i, k, tree);
        *lower = j;
        *upper = i;
    }

    // Each level recurses into the smaller part and loops on the larger, so the stack stays
    // shallow; the parts are disjoint, so the order of the two sorts does not change the result.
    void sortRange(qsizetype l, qsizetype r)
    {
        std::unique_ptr<KeyTree> owned;
        while (l < r) {
            KeyTree* tree = owned.get();
            // A strictly ascending range would come out of the partition unchanged.
            if (strictlyAscending(l, r, tree))
                return;
            qsizetype j = 0, i = 0;
            partition(l, r, tree, &j, &i);
            const qsizetype whole = r - l + 1;
            const qsizetype smaller = std::min(j - l + 1, r - i + 1);
            if (j - l < r - i) {
                sortRange(l, j);
                l = i;
            } else {
                sortRange(i, r);
                r = j;
            }
            const qsizetype rest = r - l + 1;
            if (rest < kTreeFrom || smaller * 4 >= whole) {
                owned.reset(); // balanced (or small) again: plain scans are cheaper
            } else if (!owned && smaller * kUnbalanced < whole) {
                owned = std::make_unique<KeyTree>(m_keys, l, rest);
            }
        }
    }

    double* m_keys;
    Exchange m_exchange;
};

/// Sorts the @p n items at @p items by @p keys, one key per item, moved along with it.
///
/// Items larger than a number (entries held by reference count, rows) are not exchanged one by
/// one: their positions are sorted, with the same exchanges, and each item is then moved once.
template <typename T>
void quickSortByKeys(T* items, double* keys, qsizetype n)
{
    if (n < 2)
        return;
    if constexpr (std::is_trivially_copyable_v<T> && sizeof(T) <= sizeof(qsizetype)) {
        auto exchange = [items](qsizetype a, qsizetype b) { std::swap(items[a], items[b]); };
        QuickSort<decltype(exchange)>(keys, exchange).sortOnAllCores(0, n - 1);
    } else {
        auto byPositions = [&](auto* order) {
            for (qsizetype i = 0; i < n; ++i)
                order[i] = std::remove_pointer_t<decltype(order)>(i);
            quickSortByKeys(order, keys, n);
            // Position i takes the item from order[i]: followed cycle by cycle, in place.
            using Index = std::remove_pointer_t<decltype(order)>;
            for (qsizetype i = 0; i < n; ++i) {
                if (order[i] == Index(i))
                    continue;
                T held = std::move(items[i]);
                qsizetype j = i;
                for (;;) {
                    const qsizetype from = qsizetype(order[j]);
                    order[j] = Index(j);
                    if (from == i) {
                        items[j] = std::move(held);
                        break;
                    }
                    items[j] = std::move(items[from]);
                    j = from;
                }
            }
        };
        if (n <= std::numeric_limits<qint32>::max()) {
            std::vector<qint32> order(static_cast<std::size_t>(n));
            byPositions(order.data());
        } else {
            std::vector<qsizetype> order(static_cast<std::size_t>(n));
            byPositions(order.data());
        }
    }
}
} // namespace sorting
