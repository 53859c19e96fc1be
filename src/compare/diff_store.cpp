#include "compare/diff_store.h"

#include "engine/engine_error.h"

#include <QDir>

#include <cstring>

namespace pelldrake::compare {

namespace {

template <typename T> void put(std::string &out, T v) { out.append(reinterpret_cast<const char *>(&v), sizeof v); }

template <typename T> T get(const char *&p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    p += sizeof v;
    return v;
}

void putValues(std::string &out, const std::vector<Value> &values)
{
    put(out, std::uint32_t(values.size()));
    for (const Value &v : values) {
        put(out, std::uint8_t(v.kind));
        if (v.kind == Kind::Int)
            put(out, v.i);
        else if (v.kind == Kind::Real)
            put(out, v.d);
        else if (v.kind != Kind::Null) {
            put(out, std::uint64_t(v.s.size()));
            out += v.s;
        }
    }
}

std::vector<Value> getValues(const char *&p)
{
    std::vector<Value> values(get<std::uint32_t>(p));
    for (Value &v : values) {
        v.kind = Kind(get<std::uint8_t>(p));
        if (v.kind == Kind::Int) {
            v.i = get<std::int64_t>(p);
        } else if (v.kind == Kind::Real) {
            v.d = get<double>(p);
        } else if (v.kind != Kind::Null) {
            const auto n = get<std::uint64_t>(p);
            v.s.assign(p, n);
            p += n;
        }
    }
    return values;
}

constexpr std::size_t kFlushAt = 1 << 20;

} // namespace

DiffStore::DiffStore() : file_(QDir::tempPath() + QStringLiteral("/pelldrake-compare-XXXXXX"))
{
    if (!file_.open())
        throw engine::EngineError(QStringLiteral("Cannot make a temporary file for the differences: ") + file_.errorString());
}

void DiffStore::append(const DiffRow &row)
{
    offsets_.push_back(written_ + std::int64_t(buffer_.size()));
    std::string &out = buffer_;
    const std::size_t start = out.size();
    put(out, std::uint64_t(0)); // the record's length, filled in below
    put(out, std::uint8_t(row.kind));
    put(out, std::uint8_t(row.nullKey));
    put(out, row.copies);
    putValues(out, row.left);
    putValues(out, row.right);
    put(out, std::uint32_t(row.changed.size()));
    for (bool c : row.changed)
        put(out, std::uint8_t(c));
    const std::uint64_t length = out.size() - start;
    std::memcpy(out.data() + start, &length, sizeof length);
    if (buffer_.size() >= kFlushAt)
        flush();
}

void DiffStore::flush() const
{
    if (buffer_.empty())
        return;
    file_.seek(written_);
    if (file_.write(buffer_.data(), qint64(buffer_.size())) != qint64(buffer_.size()))
        throw engine::EngineError(QStringLiteral("Cannot write the differences to %1: %2").arg(file_.fileName(), file_.errorString()));
    written_ += std::int64_t(buffer_.size());
    buffer_.clear();
}

DiffRow DiffStore::at(std::int64_t index) const
{
    flush();
    const std::int64_t offset = offsets_.at(size_t(index));
    std::uint64_t length = 0;
    file_.seek(offset);
    if (file_.read(reinterpret_cast<char *>(&length), sizeof length) != sizeof length)
        throw engine::EngineError(QStringLiteral("Cannot read the differences back: ") + file_.errorString());
    std::string record(length - sizeof length, '\0');
    if (file_.read(record.data(), qint64(record.size())) != qint64(record.size()))
        throw engine::EngineError(QStringLiteral("Cannot read the differences back: ") + file_.errorString());
    const char *p = record.data();
    DiffRow row;
    row.kind = DiffRow::Kind(get<std::uint8_t>(p));
    row.nullKey = get<std::uint8_t>(p) != 0;
    row.copies = get<std::int64_t>(p);
    row.left = getValues(p);
    row.right = getValues(p);
    row.changed.resize(get<std::uint32_t>(p));
    for (size_t i = 0; i < row.changed.size(); ++i)
        row.changed[i] = get<std::uint8_t>(p) != 0;
    return row;
}

} // namespace pelldrake::compare
