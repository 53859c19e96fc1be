#include "edi/edi_check.h"

#include "edi/check_io.h"
#include "edi/data_type.h"
#include "edi/interchange_splitter.h"
#include "edi/palette.h"
#include "edi/parsed_dir.h"
#include "edi/safe_file.h"
#include "edi/text_lines.h"
#include "edi/work_lock.h"

#include <filesystem>
#include <stdexcept>

namespace pelldrake::edi {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kTypeField = 0;
constexpr std::size_t kDataField = 1;

std::string_view firstLine(std::string_view text)
{
    const size_t end = text.find_first_of("\r\n");
    return end == std::string_view::npos ? text : text.substr(0, end);
}

std::string_view lastLine(std::string_view text) { return lastLineOf(text); }

} // namespace

TlynEDICheck::TlynEDICheck()
{
    addFieldDef("Type", FieldType::String, 20);
    addFieldDef("Data", FieldType::Memo);

    std::error_code ec;
    const fs::path here = fs::current_path(ec);
    parsedDirPath = io::fromPath(here / "parsedDir");
    fs::create_directory(here / "parsedDir", ec);   // a failure shows later, when splitting

    setFileName(io::fromPath(here / kStoreFileName));
    if (!fs::exists(here / kStoreFileName, ec)) {
        createDataSet();
        saveToFile();
        close();
    }
}

const std::string &TlynEDICheck::currentType() const
{
    static const std::string none;
    return eof() ? none : value(recordIndex(), kTypeField);
}

const std::string &TlynEDICheck::currentData() const
{
    static const std::string none;
    return eof() ? none : value(recordIndex(), kDataField);
}

WorkLock TlynEDICheck::lockWorkDir() const
{
    return WorkLock(io::toPath(parsedDirPath).parent_path() / kLockFileName);
}

void TlynEDICheck::loadEDIData(const std::string &fileName, Progress *progress)
{
    const WorkLock lock = lockWorkDir();
    // Every record goes anyway: start from an empty store instead of reading
    // the old file (which may be large, or unreadable by this version).
    if (state() != State::Browse && active())
        post();
    createDataSet();
    saveToFile();

    const fs::path path = io::toPath(fileName);
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return;
    // The file is read line by line, never whole, and each record is stored
    // once it is complete: the store is the only copy of the group in memory.
    const int lineCount = progress ? static_cast<int>(countFileLines(path)) : 0;
    LineReader reader(path);

    Field type = field(kTypeField);
    Field data = field(kDataField);
    const char *pendingKind = nullptr;
    std::string pending;
    auto flush = [&]() {
        if (!pendingKind)
            return;
        append();
        type.setAsString(pendingKind);
        data.setAsString(pending);
        post();
        pendingKind = nullptr;
    };

    transactionSetCount = 0;
    ProgressThrottle throttle(progress, lineCount);
    static const char *const kSeparatorTypes[] = {"SEGTERM", "ELESEP", "SUBELESEP"};
    int index = 0;
    std::string_view line;
    while (reader.next(line)) {
        const int i = index++;
        const char *kind = i < 3 ? kSeparatorTypes[i] : envelopeKind(line);
        if (i >= 3)
            throttle.step(i, i == lineCount - 1);
        if (kind) {
            flush();
            if (i >= 3 && kind[0] == 'S')
                ++transactionSetCount;
            pendingKind = kind;
            pending.assign(line);
        } else {
            // The line belongs to the record before it.
            if (!pending.empty())
                pending += '\n';
            pending.append(line);
        }
    }
    flush();
    if (index < 3)
        throw std::out_of_range("parsed file \"" + fileName + "\" has " + std::to_string(index) +
                                " lines; its three separator lines are missing");

    versionCode = getGSSegElement(8);
    documentNumber = 1;
    loadDocument();
    transactionSetID = getSTSegElement(1);
}

void TlynEDICheck::loadDocument()
{
    clearSegments();
    if (!active())
        return;
    const auto rec = m_stRecords.find(*this, kTypeField, documentNumber);
    if (!rec) {
        moveTo(recordCount()); // past the last record, as a full walk leaves it
        return;
    }
    moveTo(*rec);
    setSegmentsFromText(value(*rec, kDataField));
}

std::string TlynEDICheck::getSegmentTerminator()
{
    if (!active())
        return {};
    for (first(); !eof(); next())
        if (value(recordIndex(), kTypeField) == "SEGTERM")
            return value(recordIndex(), kDataField);
    return {};
}

std::string TlynEDICheck::envelopeElement(const char *type, int index)
{
    if (!active())
        return {};
    if (!eof() && value(recordIndex(), kTypeField) == type)
        return std::string(elementOf(value(recordIndex(), kDataField), elementSeparator, index));
    for (first(); !eof(); next()) {
        if (value(recordIndex(), kTypeField) == type) {
            const std::string &segment = value(recordIndex(), kDataField);
            getElementCount(segment);
            return std::string(elementOf(segment, elementSeparator, index));
        }
    }
    return {};
}

std::string TlynEDICheck::getISASegElement(int index) { return envelopeElement("ISA", index); }
std::string TlynEDICheck::getIEASegElement(int index) { return envelopeElement("IEA", index); }
std::string TlynEDICheck::getGSSegElement(int index) { return envelopeElement("GS", index); }
std::string TlynEDICheck::getGESegElement(int index) { return envelopeElement("GE", index); }

std::string TlynEDICheck::getSTSegElement(int index)
{
    if (!active() || currentType() != "ST")
        return {};
    return std::string(elementOf(firstLine(value(recordIndex(), kDataField)), elementSeparator, index));
}

std::string TlynEDICheck::getSESegElement(int index)
{
    if (!active() || currentType() != "ST")
        return {};
    return std::string(elementOf(lastLine(value(recordIndex(), kDataField)), elementSeparator, index));
}

void TlynEDICheck::loadEDIFileList(const std::string &directory, std::vector<std::string> &list)
{
    list = listFileEntries(directory);
}

bool TlynEDICheck::validateDataType(const std::string &value, const std::string &typeCode) const
{
    return edi::validateDataType(value, typeCode);
}

bool TlynEDICheck::parseEDIData()
{
    const WorkLock lock = lockWorkDir();
    // A killed run leaves the temporary files of the store and of an unfinished
    // parsed set; holding the lock, no other run is writing them.
    removeStaleTemporaries(io::toPath(fileName()));
    removeStaleTemporaries(io::toPath(parsedDirPath));
    const ParseResult result = splitIntoParsedFiles(ediFileName, parsedDirPath);
    if (!result.elementSeparator.empty()) {
        elementSeparator = result.elementSeparator;
        subElementSeparator = result.subElementSeparator;
    }
    lastError = result.error;
    return result.ok;
}

void TlynEDICheck::loadParsedFiles(std::vector<std::string> &list)
{
    const WorkLock lock = lockWorkDir();
    listParsedDirectory(parsedDirPath, list);
}

void TlynEDICheck::cleanParsedDir()
{
    const WorkLock lock = lockWorkDir();
    if (!cleanParsedDirectory(parsedDirPath))
        throw FileError("the parsed directory \"" + parsedDirPath + "\" is a symbolic link; it is never followed");
}

namespace lynEDICheck {
void Register() { registerComponent(kPalettePage, "TlynEDICheck"); }
} // namespace lynEDICheck

} // namespace pelldrake::edi
