#pragma once

#include <QtGlobal>
#include <vector>

namespace pelldrake::engine {

// The row identities of the current filter and order, positions [0, loaded()). Read in pages as
// moves and views need them; complete once a page came back short. Rows that leave the view
// (deleted, or no longer passing the filter) leave the keyset and the read offset of the query
// the next page comes from.
class Keyset {
public:
    int loaded() const { return int(m_ids.size() - m_head); }
    qint64 at(int p) const { return m_ids[m_head + size_t(p)]; }
    void set(int p, qint64 id) { m_ids[m_head + size_t(p)] = id; }
    qint64 back() const { return m_ids.back(); }
    bool complete() const { return m_complete; }
    bool anyRead() const { return m_anyRead; }
    qint64 readOffset() const { return m_readOffset; }
    // Where the next page starts in the key's own order: after this key.
    qint64 seekAfter() const { return m_seekAfter; }

    void reset();
    // Before a page: drops the keys removed from the front once they are half the vector.
    void compact();
    void reserve(size_t n) { m_ids.reserve(m_head + n); }
    void append(qint64 id) { m_ids.push_back(id); }
    // After a page of `got` keys asked as `limit` (<= 0: all the rest).
    void pageRead(qint64 got, qint64 limit, bool integerKeys);
    void removeAt(int p);
    void insertAt(int p, qint64 id);
    int find(qint64 id) const; // -1 when not loaded

private:
    std::vector<qint64> m_ids;
    size_t m_head = 0;
    bool m_complete = false;
    bool m_anyRead = false;
    qint64 m_seekAfter = 0;
    qint64 m_readOffset = 0;
};

} // namespace pelldrake::engine
