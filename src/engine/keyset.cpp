#include "engine/keyset.h"

#include <algorithm>

namespace pelldrake::engine {

void Keyset::reset()
{
    m_ids.clear();
    m_head = 0;
    m_complete = false;
    m_anyRead = false;
    m_seekAfter = 0;
    m_readOffset = 0;
}

void Keyset::compact()
{
    if (m_head > 0 && m_head * 2 >= m_ids.size()) {
        m_ids.erase(m_ids.begin(), m_ids.begin() + qint64(m_head));
        m_head = 0;
    }
}

void Keyset::pageRead(qint64 got, qint64 limit, bool integerKeys)
{
    if (got > 0 && integerKeys)
        m_seekAfter = m_ids.back();
    m_anyRead = true;
    m_readOffset += got;
    m_complete = limit <= 0 || got < limit;
}

void Keyset::removeAt(int p)
{
    if (m_readOffset > 0)
        --m_readOffset;
    if (p == 0)
        ++m_head;
    else
        m_ids.erase(m_ids.begin() + qint64(m_head) + p);
}

void Keyset::insertAt(int p, qint64 id)
{
    if (m_head > 0) {
        m_ids.erase(m_ids.begin(), m_ids.begin() + qint64(m_head));
        m_head = 0;
    }
    m_ids.insert(m_ids.begin() + p, id);
}

int Keyset::find(qint64 id) const
{
    const auto it = std::find(m_ids.begin() + qint64(m_head), m_ids.end(), id);
    return it == m_ids.end() ? -1 : int(it - m_ids.begin() - qint64(m_head));
}

} // namespace pelldrake::engine
