#include "dataset/client_dataset.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

namespace pelldrake {

const std::string ClientDataSet::empty_;

namespace {

constexpr const char *kFormat = "pelldrake-dataset";
constexpr int kVersion = 1;

bool validUtf8(std::string_view s)
{
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t len = 0;
        unsigned cp = 0;
        if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > n)
            return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))
            || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

constexpr char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string toBase64(std::string_view in)
{
    std::string out;
    out.reserve((in.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(in[i]) << 16) | (static_cast<unsigned char>(in[i + 1]) << 8)
            | static_cast<unsigned char>(in[i + 2]);
        out += kB64[(v >> 18) & 63];
        out += kB64[(v >> 12) & 63];
        out += kB64[(v >> 6) & 63];
        out += kB64[v & 63];
    }
    if (i < in.size()) {
        unsigned v = static_cast<unsigned char>(in[i]) << 16;
        if (i + 1 < in.size())
            v |= static_cast<unsigned char>(in[i + 1]) << 8;
        out += kB64[(v >> 18) & 63];
        out += kB64[(v >> 12) & 63];
        out += i + 1 < in.size() ? kB64[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string fromBase64(std::string_view in)
{
    auto decode = [](char c) -> int {
        if (c >= 'A' && c <= 'Z')
            return c - 'A';
        if (c >= 'a' && c <= 'z')
            return c - 'a' + 26;
        if (c >= '0' && c <= '9')
            return c - '0' + 52;
        if (c == '+')
            return 62;
        if (c == '/')
            return 63;
        return -1;
    };
    std::string out;
    unsigned acc = 0;
    int bits = 0;
    for (char c : in) {
        if (c == '=')
            break;
        const int d = decode(c);
        if (d < 0)
            throw DataSetError("dataset file: bad base64 value");
        acc = (acc << 6) | static_cast<unsigned>(d);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((acc >> bits) & 0xFF);
        }
    }
    return out;
}

nlohmann::json encodeValue(const std::string &v)
{
    if (validUtf8(v))
        return v;
    return nlohmann::json{{"base64", toBase64(v)}};
}

std::string decodeValue(const nlohmann::json &j)
{
    if (j.is_string())
        return j.get<std::string>();
    if (j.is_object() && j.contains("base64") && j["base64"].is_string())
        return fromBase64(j["base64"].get<std::string>());
    throw DataSetError("dataset file: bad value");
}

// File names are UTF-8 text; on Windows a plain std::string path would be read
// in the ANSI code page instead.
std::filesystem::path toPath(const std::string &utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

} // namespace

// ---- Field ----

const FieldDef &Field::def() const { return owner_->fieldDefs_[index_]; }
const std::string &Field::name() const { return def().name; }

const std::string &Field::asString() const
{
    const auto &ds = *owner_;
    if (ds.current_ >= ds.records_.size())
        return ClientDataSet::empty_;
    return ds.records_[ds.current_][index_];
}

void Field::setAsString(std::string_view value) { owner_->setValue(index_, value); }
void Field::appendText(std::string_view text) { owner_->appendValue(index_, text); }

// ---- ClientDataSet ----

FieldDef &ClientDataSet::addFieldDef(const std::string &name, FieldType type, int size)
{
    if (active())
        throw DataSetError("cannot change field definitions of an open dataset");
    fieldDefs_.push_back(FieldDef{name, type, size});
    return fieldDefs_.back();
}

void ClientDataSet::clearFieldDefs()
{
    if (active())
        throw DataSetError("cannot change field definitions of an open dataset");
    fieldDefs_.clear();
}

void ClientDataSet::createDataSet()
{
    if (fieldDefs_.empty())
        throw DataSetError("cannot create a dataset without field definitions");
    records_.clear();
    undo_.clear();
    ++changes_;
    created_ = true;
    state_ = State::Browse;
    resetCursor();
}

void ClientDataSet::open()
{
    if (active())
        return;
    std::error_code ec;
    if (!fileName_.empty() && std::filesystem::exists(toPath(fileName_), ec)) {
        loadFromFile(fileName_);
        return;
    }
    if (!created_)
        throw DataSetError("dataset has no data to open (no file \"" + fileName_ + "\" and never created)");
    state_ = State::Browse;
    resetCursor();
}

void ClientDataSet::close()
{
    if (!active())
        return;
    if (state_ != State::Browse)
        post();
    if (!fileName_.empty())
        saveToFile(fileName_);
    state_ = State::Inactive;
}

namespace {
// The system's words for an errno value; never empty.
std::string reason(int error)
{
    return error != 0 ? std::generic_category().message(error) : std::string("unknown error");
}
} // namespace

void ClientDataSet::saveToFile(const std::string &path)
{
    const std::string target = path.empty() ? fileName_ : path;
    if (target.empty())
        throw DataSetError("no file name to save the dataset to");
    if (!created_)
        throw DataSetError("cannot save a dataset that was never created or opened");
    if (state_ == State::Edit || state_ == State::Insert)
        post();

    nlohmann::json fields = nlohmann::json::array();
    for (const auto &f : fieldDefs_) {
        nlohmann::json jf{{"name", encodeValue(f.name)}, {"type", f.type == FieldType::Memo ? "memo" : "string"}};
        if (f.type == FieldType::String)
            jf["size"] = f.size;
        fields.push_back(std::move(jf));
    }
    nlohmann::json records = nlohmann::json::array();
    for (const auto &r : records_) {
        nlohmann::json jr = nlohmann::json::array();
        for (const auto &v : r)
            jr.push_back(encodeValue(v));
        records.push_back(std::move(jr));
    }
    const nlohmann::json doc{{"format", kFormat}, {"version", kVersion}, {"fields", std::move(fields)},
                             {"records", std::move(records)}};
    const std::string text = doc.dump() + "\r\n";

    // Write beside the target and rename over it, so a failed save never
    // leaves a truncated file behind.
    const std::filesystem::path finalPath = toPath(target);
    // The temporary name is new each time and created exclusively ("x"): a
    // file or link planted at it is never written through.
    std::filesystem::path tmp;
    std::FILE *out = nullptr;
    int openError = 0;
    std::random_device rd;
    for (int i = 0; i < 100 && !out; ++i) {
        tmp = finalPath;
        tmp += ".tmp" + std::to_string(rd() % 1000000000u);
#ifdef _WIN32
        out = ::_wfopen(tmp.c_str(), L"wbx");
#else
        out = std::fopen(tmp.c_str(), "wbx");
#endif
        if (!out)
            openError = errno;
        if (openError != EEXIST)
            break;
    }
    if (!out)
        throw DataSetError("cannot write dataset file \"" + target + "\": " + reason(openError));
    // A full disk may show only at the flush inside fclose, so both results count.
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    const int writeError = written ? 0 : errno;
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed) {
        const int error = written ? errno : writeError;
        std::error_code rc;
        std::filesystem::remove(tmp, rc);
        throw DataSetError("cannot write dataset file \"" + target + "\": " + reason(error));
    }
    // rename replaces the old file in one step on every platform (on Windows through
    // MoveFileEx with replace-existing); the old file is never removed first, so a failed
    // rename leaves it as it was.
    std::error_code ec;
    std::filesystem::rename(tmp, finalPath, ec);
    if (ec) {
        std::error_code rc;
        std::filesystem::remove(tmp, rc);
        throw DataSetError("cannot replace dataset file \"" + target + "\": " + ec.message());
    }
}

void ClientDataSet::loadFromFile(const std::string &path)
{
    const std::string source = path.empty() ? fileName_ : path;
    std::ifstream in(toPath(source), std::ios::binary);
    if (!in)
        throw DataSetError("cannot open dataset file \"" + source + "\"");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    std::vector<FieldDef> defs;
    std::vector<Record> recs;
    try {
        const auto doc = nlohmann::json::parse(text);
        if (!doc.is_object() || doc.value("format", std::string()) != kFormat)
            throw DataSetError("\"" + source + "\" is not a dataset file");
        if (doc.value("version", 0) > kVersion)
            throw DataSetError("dataset file \"" + source + "\" was written by a newer version");
        for (const auto &jf : doc.at("fields")) {
            FieldDef f;
            f.name = decodeValue(jf.at("name"));
            const auto type = jf.at("type").get<std::string>();
            if (type == "memo")
                f.type = FieldType::Memo;
            else if (type == "string")
                f.type = FieldType::String;
            else
                throw DataSetError("dataset file: unknown field type \"" + type + "\"");
            f.size = jf.value("size", 0);
            defs.push_back(std::move(f));
        }
        if (defs.empty())
            throw DataSetError("dataset file \"" + source + "\" defines no fields");
        const auto &jrecs = doc.at("records");
        recs.reserve(jrecs.size());
        for (const auto &jr : jrecs) {
            if (!jr.is_array() || jr.size() != defs.size())
                throw DataSetError("dataset file: record does not match the field definitions");
            Record r;
            r.reserve(defs.size());
            for (const auto &jv : jr)
                r.push_back(decodeValue(jv));
            recs.push_back(std::move(r));
        }
    } catch (const nlohmann::json::exception &e) {
        throw DataSetError("dataset file \"" + source + "\" is damaged: " + e.what());
    }
    fieldDefs_ = std::move(defs);
    records_ = std::move(recs);
    undo_.clear();
    ++changes_;
    created_ = true;
    state_ = State::Browse;
    resetCursor();
}

void ClientDataSet::moveTo(std::size_t index)
{
    requireBrowse("move");
    if (index < records_.size()) {
        current_ = index;
        eof_ = false;
        bof_ = index == 0;
    } else {
        current_ = records_.size();
        eof_ = true;
    }
}

void ClientDataSet::resetCursor()
{
    current_ = 0;
    bof_ = true;
    eof_ = records_.empty();
}

void ClientDataSet::requireActive() const
{
    if (!active())
        throw DataSetError("dataset is not open");
}

void ClientDataSet::requireBrowse(const char *)
{
    requireActive();
    if (state_ != State::Browse)
        post();
}

void ClientDataSet::first()
{
    requireBrowse("first");
    resetCursor();
}

void ClientDataSet::next()
{
    requireBrowse("next");
    if (current_ + 1 < records_.size()) {
        ++current_;
        bof_ = false;
    } else {
        current_ = records_.size();
        eof_ = true;
    }
}

void ClientDataSet::prior()
{
    requireBrowse("prior");
    if (current_ > 0 && !records_.empty()) {
        current_ = std::min(current_, records_.size()) - 1;
        eof_ = false;
        bof_ = false;
    } else {
        bof_ = true;
    }
}

void ClientDataSet::last()
{
    requireBrowse("last");
    current_ = records_.empty() ? 0 : records_.size() - 1;
    eof_ = records_.empty();
    bof_ = records_.empty();
}

void ClientDataSet::edit()
{
    requireActive();
    if (state_ == State::Edit || state_ == State::Insert)
        return;
    if (current_ >= records_.size())
        throw DataSetError("no current record to edit");
    undo_.clear();
    state_ = State::Edit;
}

void ClientDataSet::append()
{
    requireBrowse("append");
    ++changes_;
    records_.emplace_back(fieldDefs_.size());
    current_ = records_.size() - 1;
    eof_ = false;
    bof_ = false;
    undo_.clear();
    state_ = State::Insert;
}

void ClientDataSet::post()
{
    requireActive();
    if (state_ != State::Browse)
        ++changes_;
    undo_.clear();
    state_ = State::Browse;
}

void ClientDataSet::cancel()
{
    requireActive();
    ++changes_;
    if (state_ == State::Insert) {
        records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(current_));
        if (current_ >= records_.size())
            current_ = records_.empty() ? 0 : records_.size() - 1;
        eof_ = records_.empty();
    } else if (state_ == State::Edit) {
        auto &rec = records_[current_];
        for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
            if (it->replaced)
                rec[it->field] = std::move(it->old);
            else
                rec[it->field].resize(it->oldSize);
        }
    }
    undo_.clear();
    state_ = State::Browse;
}

void ClientDataSet::deleteRecord()
{
    requireBrowse("delete");
    if (current_ >= records_.size())
        throw DataSetError("no current record to delete");
    ++changes_;
    records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(current_));
    if (current_ >= records_.size())
        current_ = records_.empty() ? 0 : records_.size() - 1;
    eof_ = records_.empty();
    bof_ = records_.empty() || current_ == 0;
}

void ClientDataSet::emptyDataSet()
{
    requireBrowse("empty");
    ++changes_;
    records_.clear();
    resetCursor();
}

int ClientDataSet::fieldIndex(std::string_view name) const
{
    for (std::size_t i = 0; i < fieldDefs_.size(); ++i)
        if (fieldDefs_[i].name == name)
            return static_cast<int>(i);
    return -1;
}

Field ClientDataSet::fieldByName(std::string_view name)
{
    const int i = fieldIndex(name);
    if (i < 0)
        throw DataSetError("field \"" + std::string(name) + "\" not found");
    return Field(this, static_cast<std::size_t>(i));
}

Field ClientDataSet::field(std::size_t index)
{
    if (index >= fieldDefs_.size())
        throw std::out_of_range("field index " + std::to_string(index) + " out of range");
    return Field(this, index);
}

const std::string &ClientDataSet::value(std::size_t record, std::size_t field) const
{
    if (record >= records_.size() || field >= fieldDefs_.size())
        throw std::out_of_range("dataset value index out of range");
    return records_[record][field];
}

std::string ClientDataSet::clipToField(std::size_t field, std::string_view value) const
{
    const auto &def = fieldDefs_[field];
    if (def.type != FieldType::String || def.size <= 0 || value.size() <= static_cast<std::size_t>(def.size))
        return std::string(value);
    std::size_t cut = static_cast<std::size_t>(def.size);
    // Do not leave half a UTF-8 sequence behind.
    while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80)
        --cut;
    return std::string(value.substr(0, cut));
}

void ClientDataSet::rememberUndo(std::size_t field, bool replacing)
{
    if (state_ != State::Edit)
        return; // an inserted record is dropped whole by cancel()
    auto &cur = records_[current_][field];
    for (auto &u : undo_) {
        if (u.field != field)
            continue;
        if (replacing && !u.replaced) { // an append came first: keep its original prefix
            u.old = cur.substr(0, u.oldSize);
            u.replaced = true;
        }
        return;
    }
    if (replacing)
        undo_.push_back(Undo{field, true, cur, 0});
    else
        undo_.push_back(Undo{field, false, {}, cur.size()});
}

void ClientDataSet::setValue(std::size_t field, std::string_view value)
{
    if (state_ != State::Edit && state_ != State::Insert)
        throw DataSetError("dataset is not in edit or insert mode");
    auto clipped = clipToField(field, value);
    rememberUndo(field, true);
    records_[current_][field] = std::move(clipped);
}

void ClientDataSet::appendValue(std::size_t field, std::string_view text)
{
    if (state_ != State::Edit && state_ != State::Insert)
        throw DataSetError("dataset is not in edit or insert mode");
    auto &cur = records_[current_][field];
    const auto &def = fieldDefs_[field];
    if (def.type == FieldType::String && def.size > 0) {
        std::string whole = cur;
        whole.append(text);
        setValue(field, whole);
        return;
    }
    rememberUndo(field, false);
    cur.append(text);
}

} // namespace pelldrake
