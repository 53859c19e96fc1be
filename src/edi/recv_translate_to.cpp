#include "edi/recv_translate_to.h"

#include "edi/check_io.h"
#include "edi/interchange_splitter.h"
#include "edi/palette.h"
#include "edi/safe_file.h"
#include "edi/text_lines.h"
#include "edi/work_lock.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace pelldrake::edi {

namespace {

// Writes the groups of one input file: each group goes to the work file and,
// once complete, is copied out into a time-stamped group file in the partner
// directory of its interchange sender, receiver and transaction set code.
class GroupWriter : public SegmentCutter::Handler {
public:
    GroupWriter(TlynEDIRecvTranslateTo &owner, SegmentCutter &cutter, TimestampFileNamer &namer,
                const InterchangeHeader &header, std::string trailerIEA)
        : owner_(owner), cutter_(cutter), namer_(namer), term_(header.terminator),
          sep_(header.elementSeparator), isaText_(header.isaText), iea_(std::move(trailerIEA))
    {
    }

    SegmentCutter::Action segment(std::string_view seg) override
    {
        using Action = SegmentCutter::Action;
        const std::string_view body = seg.substr(0, seg.size() - 1);
        if (seg.size() > 2 && seg.substr(0, 2) == "ST" && seg[2] == sep_) {
            code_ = std::string(elementOf(seg, std::string_view(&sep_, 1), 1));
        } else if (seg.size() > 3 && seg.substr(0, 3) == "IEA" && seg[3] == sep_) {
            // The last group of an interchange ends with its GE; what follows
            // up to the next ISA is not part of any interchange.
            return Action::SkipToISA;
        } else if (hasTag(seg, "GS")) {
            if (firstGS_) {
                firstGS_ = false;
            } else {
                closeGroup();
                startWork(true);
            }
        } else if (seg.substr(0, 3) == "ISA") {
            // The group still in the work file belongs to the interchange
            // before: it goes to that interchange's partner directory, before
            // sender and receiver change.
            if (pending_)
                copyOut();
            if (seg.size() > kIsaElementSeparatorAt)
                sep_ = seg[kIsaElementSeparatorAt];
            term_ = cutter_.terminator();
            owner_.elementSeparator.assign(1, sep_);
            firstGS_ = true;
            const std::string_view sepView(&sep_, 1);
            sender_ = std::string(trimControls(elementOf(seg, sepView, 6)));
            receiver_ = std::string(trimControls(elementOf(seg, sepView, 8)));
            owner_.subElementSeparator = subElementSeparatorOf(seg, sep_);
            // Each interchange of a file brings its own envelope.
            isaText_ = std::string(body);
            iea_.reset();
            startWork(false);
        }
        work_.writeLine(body);
        return Action::Next;
    }

    // A group cut short (the input could not be read to its end) is dropped,
    // not filed as if it were whole.
    void abandon()
    {
        pending_ = false;
        work_.reset();
        std::error_code ec;
        fs::remove(TlynEDIRecvTranslateTo::kWorkFileName, ec);
    }

    void finish()
    {
        if (pending_)
            copyOut();
        // Group files are moved out of the work file; leave a copy of the last
        // one there, as the work file always holds the last group cut.
        std::error_code ec;
        if (!lastGroup_.empty() && !fs::exists(TlynEDIRecvTranslateTo::kWorkFileName, ec))
            fs::copy_file(lastGroup_, TlynEDIRecvTranslateTo::kWorkFileName, ec);
    }

private:
    // Throws FileError with the system's reason when the work file cannot be
    // created: the group would be lost otherwise.
    void startWork(bool withISA)
    {
        work_.reset();
        std::error_code ec;
        fs::remove(TlynEDIRecvTranslateTo::kWorkFileName, ec);
        // Created exclusively: a link planted at the work file's name is never
        // followed (the removal above took away our own file of a run before).
        work_.reset(openFile(TlynEDIRecvTranslateTo::kWorkFileName, "wbx"));
        pending_ = static_cast<bool>(work_);
        if (!work_) {
            const int err = errno;
            throw FileError(std::string("cannot create the work file \"") + TlynEDIRecvTranslateTo::kWorkFileName
                                + "\": " + std::strerror(err),
                            err);
        }
        work_.writeLine(separatorCode(term_));
        work_.writeLine(separatorCode(sep_));
        work_.writeLine(std::string_view(owner_.subElementSeparator).substr(0, 1));
        if (withISA)
            work_.writeLine(isaText_);
    }

    void closeGroup()
    {
        if (!pending_)
            return;
        const std::string &iea = iea_.get(cutter_, sep_);
        if (!iea.empty())
            work_.writeLine(iea);
        copyOut();
    }

    void copyOut()
    {
        pending_ = false;
        if (!work_.close())
            throw FileError(std::string("cannot write the work file \"") + TlynEDIRecvTranslateTo::kWorkFileName
                            + "\"");
        const fs::path dir = fs::current_path()
            / (partnerNamePart(sender_) + "_" + partnerNamePart(receiver_) + "_" + partnerNamePart(code_));
        std::error_code ec;
        fs::create_directory(dir, ec);
        // The name is taken by creating the file exclusively; the group then
        // replaces only that empty file of our own.
        FilePtr reserved;
        const fs::path name = namer_.create(dir, reserved);
        reserved.reset();
        fs::rename(TlynEDIRecvTranslateTo::kWorkFileName, name, ec);
        if (ec) {
            ec.clear();
            fs::copy_file(TlynEDIRecvTranslateTo::kWorkFileName, name, fs::copy_options::overwrite_existing, ec);
            if (ec)
                throw FileError("cannot copy the work file \"" + std::string(TlynEDIRecvTranslateTo::kWorkFileName)
                                + "\" to \"" + name.string() + "\": " + ec.message());
        }
        lastGroup_ = name;
    }

    TlynEDIRecvTranslateTo &owner_;
    SegmentCutter &cutter_;
    TimestampFileNamer &namer_;
    char term_;
    char sep_;
    std::string isaText_;
    InterchangeIEA iea_;
    std::string sender_, receiver_, code_;
    bool firstGS_ = true;
    LineFile work_;
    bool pending_ = false; // the work file holds a group not yet copied out
    fs::path lastGroup_;
};

std::string_view firstLine(const std::string &data)
{
    if (data.empty())
        throw std::out_of_range("line list index out of bounds (0)");
    const auto end = data.find_first_of("\r\n");
    return std::string_view(data).substr(0, end);
}

} // namespace

TlynEDIRecvTranslateTo::TlynEDIRecvTranslateTo()
{
    addFieldDef("Type", FieldType::String, 20);
    addFieldDef("Data", FieldType::Memo);
}

void TlynEDIRecvTranslateTo::ensureOpen()
{
    if (active())
        return;
    std::error_code ec;
    if (!fileName().empty() && fs::exists(io::toPath(fileName()), ec))
        open();
    else
        createDataSet();
}

void TlynEDIRecvTranslateTo::loadEDIData(const std::string &fileName)
{
    ensureOpen();
    emptyDataSet();
    if (!this->fileName().empty())
        saveToFile();

    std::string text;
    if (!readWholeFile(io::toPath(fileName), text))
        throw FileError("cannot read group file \"" + fileName + "\"");

    Field type = fieldByName("Type");
    Field data = fieldByName("Data");
    static const char *const kSeparatorKinds[] = {"SEGTERM", "ELESEP", "SUBELESEP"};
    int lineNo = 0;
    forEachLine(text, [&](std::string_view line) {
        const char *kind = lineNo < 3 ? kSeparatorKinds[lineNo] : envelopeKind(line);
        if (kind) {
            append();
            type.setAsString(kind);
            data.setAsString(line);
            post();
            if (lineNo >= 3 && kind[0] == 'S' && kind[1] == 'T')
                ++transactionSetCount;
        } else {
            edit();
            if (!data.asString().empty())
                data.appendText("\n");
            data.appendText(line);
            post();
        }
        if (++lineNo == 3)
            transactionSetCount = 0;
    });
    if (lineNo < 3)
        throw std::out_of_range("group file line index out of bounds (" + std::to_string(lineNo) + ")");
}

void TlynEDIRecvTranslateTo::loadDocument(int documentNumber)
{
    segmentCount = 0;
    segmentIndex = 0;
    if (!active()) {
        segmentList.clear();
        return;
    }
    const int typeField = fieldIndex("Type");
    const int dataField = fieldIndex("Data");
    if (typeField < 0 || dataField < 0) {
        segmentList.clear();
        return;
    }
    const auto rec = stRecords_.find(*this, static_cast<std::size_t>(typeField), documentNumber);
    if (!rec) {
        segmentList.clear();
        moveTo(recordCount()); // past the last record, as a full scan leaves it
        return;
    }
    moveTo(*rec);
    setSegmentsFromText(value(*rec, static_cast<std::size_t>(dataField)));
}

void TlynEDIRecvTranslateTo::loadEDIFileList(const std::string &directory, std::vector<std::string> &list) const
{
    list = listFileEntries(directory);
}

const std::string *TlynEDIRecvTranslateTo::firstRecordData(const char *kind)
{
    if (!active())
        return nullptr;
    const int typeField = fieldIndex("Type");
    const int dataField = fieldIndex("Data");
    if (typeField < 0 || dataField < 0)
        return nullptr;
    for (first(); !eof(); next())
        if (value(recordIndex(), static_cast<std::size_t>(typeField)) == kind)
            return &value(recordIndex(), static_cast<std::size_t>(dataField));
    return nullptr;
}

std::string TlynEDIRecvTranslateTo::firstRecordElement(const char *kind, int index)
{
    const std::string *d = firstRecordData(kind);
    return d ? std::string(elementOf(*d, elementSeparator, index)) : std::string();
}

std::string TlynEDIRecvTranslateTo::getISASegElement(int index) { return firstRecordElement("ISA", index); }
std::string TlynEDIRecvTranslateTo::getIEASegElement(int index) { return firstRecordElement("IEA", index); }
std::string TlynEDIRecvTranslateTo::getGSSegElement(int index) { return firstRecordElement("GS", index); }
std::string TlynEDIRecvTranslateTo::getGESegElement(int index) { return firstRecordElement("GE", index); }

std::string TlynEDIRecvTranslateTo::getSTSegElement(int index)
{
    const std::string *d = firstRecordData("ST");
    return d ? std::string(elementOf(firstLine(*d), elementSeparator, index)) : std::string();
}

std::string TlynEDIRecvTranslateTo::getSESegElement(int index)
{
    // An SE segment never gets a record of its own: it is the last segment of
    // its transaction set's record.
    const std::string *d = firstRecordData("ST");
    if (!d)
        return {};
    firstLine(*d);
    std::string_view se;
    forEachLine(*d, [&](std::string_view line) {
        if (hasTag(line, "SE"))
            se = line;
    });
    return std::string(elementOf(se, elementSeparator, index));
}

bool TlynEDIRecvTranslateTo::parseEDIData()
{
    lastError.clear();
    // Two runs in one directory would share the work file.
    const WorkLock lock(fs::current_path() / kLockFileName);
    std::vector<std::string> files = listFileEntries(ediDirectory);
    // When the input directory is the current one, our own work and lock files
    // lie among the inputs: they are not interchanges and are never split.
    std::error_code ec;
    std::erase_if(files, [](const std::string &file) {
        return sameFile(io::toPath(file), kWorkFileName) || sameFile(io::toPath(file), kLockFileName);
    });
    if (files.empty()) {
        lastError = "no input file in \"" + ediDirectory + "\"";
        return false;
    }
    fs::remove(kWorkFileName, ec);
    TimestampFileNamer namer;
    for (const auto &file : files)
        if (!splitFile(file, namer))
            return false;
    return true;
}

bool TlynEDIRecvTranslateTo::splitFile(const std::string &path, TimestampFileNamer &namer)
{
    FilePtr in = openFile(io::toPath(path), "rb");
    if (!in) {
        lastError = "cannot open \"" + path + "\"";
        return false;
    }
    std::string block(kReadBlockSize, '\0');
    block.resize(std::fread(block.data(), 1, block.size(), in.get()));
    const auto header = detectHeader(block);
    if (!header) {
        lastError = "\"" + path + "\" holds no X12 interchange (no usable ISA header)";
        return false;
    }
    std::string trailer = findTrailerIEA(in.get(), header->terminator, header->elementSeparator);
    SegmentCutter cutter(in.get(), io::toPath(path), header->terminator);
    GroupWriter writer(*this, cutter, namer, *header, std::move(trailer));
    if (!cutter.run(writer)) {
        writer.abandon();
        lastError = cutter.error();
        return false;
    }
    writer.finish();
    return true;
}

namespace lynEDIRecvTranslateTo {
void Register() { registerComponent(kPalettePage, "TlynEDIRecvTranslateTo"); }
} // namespace lynEDIRecvTranslateTo

} // namespace pelldrake::edi
