#pragma once

#include <QByteArray>
#include <QHash>
#include <QVariantList>
#include <vector>

namespace pelldrake::engine {

// Row identities of keys that are not one integer: each distinct key gets a number. Keys are
// told apart by their typed values (type and exact content, bytes and all), never by a text
// joined with separators, and are handed back exactly as they were read, to be bound again.
// Holds the keys of one keyset: cleared whenever the keyset is read anew.
class KeyStore {
public:
    qint64 idFor(const QVariantList &key);
    // -1 when the key was never seen.
    qint64 find(const QVariantList &key) const;
    const QVariantList &key(qint64 id) const { return m_keys.at(size_t(id)); }
    void clear();
    size_t size() const { return m_keys.size(); }

    static QByteArray encode(const QVariantList &key);

private:
    std::vector<QVariantList> m_keys;
    QHash<QByteArray, qint64> m_index;
};

} // namespace pelldrake::engine
