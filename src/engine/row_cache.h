#pragma once

#include <QHash>
#include <QVariantList>
#include <vector>

namespace pelldrake::engine {

// The row values read so far, by row identity. Two places: the window holds the last range read
// in key order (a walk finds its next row beside the previous one, without hashing), the cache
// the rows read by key lists. A row read again replaces the older copy in either place.
class RowCache {
public:
    static constexpr int kCacheRows = 4000;

    const QVariantList *lookup(qint64 id);
    void forget(qint64 id);
    void clear();

    // A new window: rows are added in ascending id order.
    void beginWindow();
    void addToWindow(qint64 id, QVariantList &&row);
    void endWindow();

    void insert(qint64 id, QVariantList &&row); // into the cache
    // Makes room for `more` rows in the cache (drops it whole when full: the rows are cheap to
    // read again, and the window stays).
    void makeRoom(int more);
    int cacheSize() const { return int(m_cache.size()); }
    int windowSize() const { return int(m_winIds.size()); }

private:
    int windowIndex(qint64 id);

    QHash<qint64, QVariantList> m_cache;
    std::vector<QVariantList> m_win;
    std::vector<qint64> m_winIds;
    std::vector<char> m_winValid;
    int m_hint = 0;
};

} // namespace pelldrake::engine
