#include "engine/key_store.h"

#include <QDataStream>
#include <QIODevice>

namespace pelldrake::engine {

QByteArray KeyStore::encode(const QVariantList &key)
{
    // The stream writes each value with its type and length: injective.
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    for (const QVariant &v : key)
        out << v;
    return bytes;
}

qint64 KeyStore::idFor(const QVariantList &key)
{
    QByteArray code = encode(key);
    auto it = m_index.constFind(code);
    if (it != m_index.constEnd())
        return *it;
    const qint64 id = qint64(m_keys.size());
    m_keys.push_back(key);
    m_index.insert(std::move(code), id);
    return id;
}

qint64 KeyStore::find(const QVariantList &key) const
{
    return m_index.value(encode(key), -1);
}

void KeyStore::clear()
{
    m_keys.clear();
    m_keys.shrink_to_fit();
    m_index.clear();
    m_index.squeeze();
}

} // namespace pelldrake::engine
