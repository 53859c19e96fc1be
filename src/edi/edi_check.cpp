#include "edi/edi_check.h"

#include "edi/check_io.h"
#include "edi/data_type.h"
#include "edi/interchange_splitter.h"
#include "edi/palette.h"
#include "edi/parsed_dir.h"

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

std::string_view lastLine(std::string_view text)
{
    std::string_view last;
    forEachLine(text, [&](std::string_view line) { last = line; });
    return last;
}

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

std::string TlynEDICheck::currentType()
{
    return eof() ? std::string() : value(recordIndex(), kTypeField);
}

std::string TlynEDICheck::currentData()
{
    return eof() ? std::string() : value(recordIndex(), kDataField);
}

void TlynEDICheck::loadEDIData(const std::string &fileName, Progress *progress)
{
    // Every record goes anyway: start from an empty store instead of reading
    // the old file (which may be large, or unreadable by this version).
    if (state() != State::Browse && active())
        post();
    createDataSet();
    saveToFile();

    std::error_code ec;
    if (!fs::is_regular_file(io::toPath(fileName), ec))
        return;
    std::string text;
    if (!readWholeFile(io::toPath(fileName), text))
        throw FileError("Cannot read file \"" + fileName + "\"");

    int lineCount = 0;
    forEachLine(text, [&](std::string_view) { ++lineCount; });

    Field type = field(kTypeField);
    Field data = field(kDataField);
    // A record stays in edit while the lines of its transaction set arrive and
    // is posted when the next record starts (or at the end).
    bool editing = false;
    auto appendRecord = [&](std::string_view kind, std::string_view line) {
        if (editing) {
            post();
            editing = false;
        }
        append();
        type.setAsString(kind);
        data.setAsString(line);
        post();
    };

    transactionSetCount = 0;
    ProgressThrottle throttle(progress, lineCount);
    int i = 0;
    static const char *const kSeparatorTypes[] = {"SEGTERM", "ELESEP", "SUBELESEP"};
    forEachLine(text, [&](std::string_view line) {
        const int index = i++;
        if (index < 3) {
            appendRecord(kSeparatorTypes[index], line);
            return;
        }
        throttle.step(index, index == lineCount - 1);
        if (const char *kind = envelopeKind(line)) {
            if (kind[0] == 'S')
                ++transactionSetCount;
            appendRecord(kind, line);
        } else {
            // The line belongs to the record before it.
            if (!editing) {
                edit();
                editing = true;
            }
            if (!data.asString().empty())
                data.appendText("\n");
            data.appendText(line);
        }
    });
    if (editing)
        post();
    if (lineCount < 3)
        throw std::out_of_range("parsed file \"" + fileName + "\" has " + std::to_string(lineCount) +
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
    int count = 0;
    for (first(); !eof(); next()) {
        if (value(recordIndex(), kTypeField) == "ST" && ++count == documentNumber) {
            setSegmentsFromText(value(recordIndex(), kDataField));
            return;
        }
    }
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
    const ParseResult result = splitIntoParsedFiles(ediFileName, parsedDirPath);
    if (!result.elementSeparator.empty()) {
        elementSeparator = result.elementSeparator;
        subElementSeparator = result.subElementSeparator;
    }
    return result.ok;
}

void TlynEDICheck::loadParsedFiles(std::vector<std::string> &list)
{
    listParsedDirectory(parsedDirPath, list);
}

void TlynEDICheck::cleanParsedDir()
{
    cleanParsedDirectory(parsedDirPath);
}

namespace lynEDICheck {
void Register() { registerComponent(kPalettePage, "TlynEDICheck"); }
} // namespace lynEDICheck

} // namespace pelldrake::edi
