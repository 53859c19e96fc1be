#include "edi/recv_translate_to.h"

#include "edi/interchange_splitter.h"
#include "edi/palette.h"

#include <filesystem>
#include <fstream>
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
          sep_(header.elementSeparator), isaText_(header.isaText), trailer_(std::move(trailerIEA))
    {
    }

    SegmentCutter::Action segment(std::string_view seg, std::string_view rest) override
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
            if (rest.size() > 3)
                sep_ = rest[3];
            if (rest.size() > 105)
                term_ = rest[105];
            cutter_.setTerminator(term_);
            owner_.elementSeparator.assign(1, sep_);
            firstGS_ = true;
            const std::string_view sepView(&sep_, 1);
            sender_ = std::string(trimControls(elementOf(seg, sepView, 6)));
            receiver_ = std::string(trimControls(elementOf(seg, sepView, 8)));
            std::size_t p = 0;
            int n = 0;
            for (; p < seg.size() && n < 16; ++p)
                if (seg[p] == sep_)
                    ++n;
            owner_.subElementSeparator = n == 16 && p < seg.size() ? std::string(1, seg[p]) : std::string();
            // Each interchange of a file brings its own envelope.
            isaText_ = std::string(body);
            ieaKnown_ = false;
            if (pending_)
                copyOut(); // the last group of the interchange before
            if (!startWork(false))
                return Action::Defer;
        }
        if (work_)
            writeLine(body);
        return Action::Next;
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
    void writeLine(std::string_view text)
    {
        buf_.append(text);
        buf_.append("\r\n", 2);
        if (buf_.size() >= (1u << 16))
            flush();
    }

    void flush()
    {
        if (work_ && !buf_.empty() && std::fwrite(buf_.data(), 1, buf_.size(), work_.get()) != buf_.size())
            writeFailed_ = true;
        buf_.clear();
    }

    bool startWork(bool withISA)
    {
        work_.reset();
        std::error_code ec;
        fs::remove(TlynEDIRecvTranslateTo::kWorkFileName, ec);
        work_ = openFile(TlynEDIRecvTranslateTo::kWorkFileName, "wb");
        pending_ = static_cast<bool>(work_);
        buf_.clear();
        writeFailed_ = false;
        if (!work_)
            return false;
        writeLine(separatorCode(term_));
        writeLine(separatorCode(sep_));
        writeLine(std::string_view(owner_.subElementSeparator).substr(0, 1));
        if (withISA)
            writeLine(isaText_);
        return true;
    }

    // The IEA closing the current interchange, looked up once per interchange.
    const std::string &interchangeIEA()
    {
        if (!ieaKnown_) {
            std::string found;
            switch (cutter_.findInterchangeIEA(sep_, found)) {
            case SegmentCutter::Lookahead::Found:
                iea_ = std::move(found);
                break;
            case SegmentCutter::Lookahead::NextInterchange:
                iea_.clear();
                break;
            case SegmentCutter::Lookahead::EndOfInput:
                iea_ = trailer_.empty() ? std::string() : trailer_.substr(0, trailer_.size() - 1);
                break;
            }
            ieaKnown_ = true;
        }
        return iea_;
    }

    void closeGroup()
    {
        if (!pending_)
            return;
        const std::string &iea = interchangeIEA();
        if (work_ && !iea.empty())
            writeLine(iea);
        copyOut();
    }

    void copyOut()
    {
        pending_ = false;
        if (work_) {
            flush();
            const bool failed = writeFailed_ || std::ferror(work_.get()) != 0;
            if (std::fclose(work_.release()) != 0 || failed)
                throw FileError(std::string("cannot write the work file \"") + TlynEDIRecvTranslateTo::kWorkFileName
                                + "\"");
        }
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
    std::string trailer_;
    std::string sender_, receiver_, code_;
    bool firstGS_ = true;
    FilePtr work_;
    bool pending_ = false; // the work file holds a group not yet copied out
    bool ieaKnown_ = false;
    std::string iea_;
    std::string buf_;
    bool writeFailed_ = false;
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
    if (!fileName().empty() && fs::exists(fileName()))
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

    std::ifstream in(fs::path(fileName), std::ios::binary);
    if (!in)
        throw FileError("cannot read group file \"" + fileName + "\"");
    std::string text;
    in.seekg(0, std::ios::end);
    const auto size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size > 0) {
        text.resize(static_cast<std::size_t>(size));
        in.read(text.data(), size);
        text.resize(static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad())
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
    if (stRecordsAt_ != changeCount()) {
        stRecords_.clear();
        for (std::size_t i = 0; i < recordCount(); ++i)
            if (value(i, static_cast<std::size_t>(typeField)) == "ST")
                stRecords_.push_back(i);
        stRecordsAt_ = changeCount();
    }
    if (documentNumber < 1 || static_cast<std::size_t>(documentNumber) > stRecords_.size()) {
        segmentList.clear();
        moveTo(recordCount()); // past the last record, as a full scan leaves it
        return;
    }
    const std::size_t rec = stRecords_[static_cast<std::size_t>(documentNumber) - 1];
    moveTo(rec);
    setSegmentsFromText(value(rec, static_cast<std::size_t>(dataField)));
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

std::string TlynEDIRecvTranslateTo::getISASegElement(int index)
{
    const std::string *d = firstRecordData("ISA");
    return d ? std::string(elementOf(*d, elementSeparator, index)) : std::string();
}

std::string TlynEDIRecvTranslateTo::getIEASegElement(int index)
{
    const std::string *d = firstRecordData("IEA");
    return d ? std::string(elementOf(*d, elementSeparator, index)) : std::string();
}

std::string TlynEDIRecvTranslateTo::getGSSegElement(int index)
{
    const std::string *d = firstRecordData("GS");
    return d ? std::string(elementOf(*d, elementSeparator, index)) : std::string();
}

std::string TlynEDIRecvTranslateTo::getGESegElement(int index)
{
    const std::string *d = firstRecordData("GE");
    return d ? std::string(elementOf(*d, elementSeparator, index)) : std::string();
}

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
    const std::vector<std::string> files = listFileEntries(ediDirectory);
    if (files.empty())
        return false;
    std::error_code ec;
    fs::remove(kWorkFileName, ec);
    TimestampFileNamer namer;
    for (const auto &file : files)
        if (!splitFile(file, namer))
            return false;
    return true;
}

bool TlynEDIRecvTranslateTo::splitFile(const std::string &path, TimestampFileNamer &namer)
{
    FilePtr in = openFile(fs::path(path), "rb");
    if (!in)
        return false;
    std::string block(kReadBlockSize, '\0');
    block.resize(std::fread(block.data(), 1, block.size(), in.get()));
    const auto header = detectHeader(block);
    if (!header)
        return false;
    std::string trailer = findTrailerIEA(in.get(), header->terminator, header->elementSeparator);
    SegmentCutter cutter(in.get(), fs::path(path), header->terminator);
    GroupWriter writer(*this, cutter, namer, *header, std::move(trailer));
    cutter.run(writer);
    writer.finish();
    return true;
}

namespace lynEDIRecvTranslateTo {
void Register() { registerComponent(kPalettePage, "TlynEDIRecvTranslateTo"); }
} // namespace lynEDIRecvTranslateTo

} // namespace pelldrake::edi
