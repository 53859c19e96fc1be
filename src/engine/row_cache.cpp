#include "engine/row_cache.h"

#include <algorithm>

namespace pelldrake::engine {

int RowCache::windowIndex(qint64 id)
{
    const int n = int(m_winIds.size());
    if (n == 0)
        return -1;
    for (int k : {m_hint, m_hint + 1, m_hint - 1})
        if (k >= 0 && k < n && m_winIds[size_t(k)] == id)
            return m_hint = k;
    const auto it = std::lower_bound(m_winIds.begin(), m_winIds.end(), id);
    if (it == m_winIds.end() || *it != id)
        return -1;
    return m_hint = int(it - m_winIds.begin());
}

const QVariantList *RowCache::lookup(qint64 id)
{
    const int k = windowIndex(id);
    if (k >= 0 && m_winValid[size_t(k)])
        return &m_win[size_t(k)];
    auto it = m_cache.constFind(id);
    return it == m_cache.constEnd() ? nullptr : &*it;
}

void RowCache::forget(qint64 id)
{
    m_cache.remove(id);
    const int k = windowIndex(id);
    if (k >= 0)
        m_winValid[size_t(k)] = 0;
}

void RowCache::clear()
{
    m_cache.clear();
    m_win.clear();
    m_winIds.clear();
    m_winValid.clear();
    m_hint = 0;
}

void RowCache::beginWindow()
{
    m_win.clear();
    m_winIds.clear();
    m_winValid.clear();
    m_hint = 0;
}

void RowCache::addToWindow(qint64 id, QVariantList &&row)
{
    m_cache.remove(id); // the window's copy is the newer one
    m_winIds.push_back(id);
    m_win.push_back(std::move(row));
}

void RowCache::endWindow()
{
    // Ids must be ascending for the binary search; a source that broke the order loses the
    // window rather than answering with the wrong row.
    if (!std::is_sorted(m_winIds.begin(), m_winIds.end())) {
        beginWindow();
        return;
    }
    m_winValid.assign(m_winIds.size(), 1);
    m_hint = 0;
}

void RowCache::insert(qint64 id, QVariantList &&row)
{
    const int k = windowIndex(id);
    if (k >= 0)
        m_winValid[size_t(k)] = 0;
    if (m_cache.capacity() < kCacheRows)
        m_cache.reserve(kCacheRows);
    m_cache.insert(id, std::move(row));
}

void RowCache::makeRoom(int more)
{
    if (m_cache.size() + more > kCacheRows)
        m_cache.clear();
}

} // namespace pelldrake::engine
