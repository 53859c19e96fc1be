#include "edi/parsed_dir.h"

#include "edi/check_io.h"
#include "edi/interchange_splitter.h"
#include "edi/safe_file.h"

#include <algorithm>
#include <filesystem>
#include <string_view>

namespace pelldrake::edi {

namespace fs = std::filesystem;

namespace {

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// Writes the segments the cutter hands over into parsed files.
class ParsedFileWriter : public SegmentCutter::Handler {
public:
    ParsedFileWriter(SegmentCutter &cutter, fs::path dir, const InterchangeHeader &header, std::string trailerIEA,
                     ParseResult &result)
        : m_cutter(cutter), m_dir(std::move(dir)), m_term(header.terminator), m_sep(header.elementSeparator),
          m_isaText(header.isaText), m_iea(std::move(trailerIEA)), m_result(result)
    {
    }

    SegmentCutter::Action segment(std::string_view seg) override
    {
        using Action = SegmentCutter::Action;
        const std::string_view body = seg.substr(0, seg.size() - 1);
        if (seg.size() > 3 && startsWith(seg, "IEA") && seg[3] == m_sep) {
            m_out.writeLine(body);
            return Action::SkipToISA;   // the next interchange, if any, follows
        }
        if (hasTag(seg, "GS")) {
            if (m_firstGroup) {
                m_firstGroup = false;
            } else {
                const std::string &iea = m_iea.get(m_cutter, m_sep);
                if (!iea.empty())
                    m_out.writeLine(iea);
                closeFile();
                startFile(true);   // when it fails, this group's lines are lost
            }
        } else if (startsWith(seg, "ISA")) {
            if (seg.size() > 3)
                m_sep = seg[3];
            m_term = m_cutter.terminator();
            m_result.elementSeparator.assign(1, m_sep);
            m_result.subElementSeparator = subElementSeparatorOf(seg, m_sep);
            m_isaText.assign(body);
            m_iea.reset();
            m_firstGroup = true;
            closeFile();
            if (!startFile(false)) {
                // Tried again once the next block is read, within reason.
                return Action::Defer;
            }
        }
        m_out.writeLine(body);
        return Action::Next;
    }

private:
    bool startFile(bool withIsa)
    {
        FilePtr f;
        fs::path name;
        try {
            name = m_namer.create(m_dir, f);
        } catch (const FileError &) {
            return false;
        }
        m_out.reset(std::move(f));
        m_result.files.push_back(io::fromPath(name));
        m_out.writeLine(separatorCode(m_term));
        m_out.writeLine(separatorCode(m_sep));
        m_out.writeLine(m_result.subElementSeparator);
        if (withIsa)
            m_out.writeLine(m_isaText);
        return true;
    }

public:
    ~ParsedFileWriter() override { m_out.close(); }

    // Closes the last file; false when any parsed file lost text on its way
    // to the disk (a full disk, say).
    bool finish()
    {
        closeFile();
        return !m_writeFailed;
    }

private:
    void closeFile()
    {
        if (!m_out.close())
            m_writeFailed = true;
    }

    SegmentCutter &m_cutter;
    fs::path m_dir;
    TimestampFileNamer m_namer;
    char m_term;
    char m_sep;
    std::string m_isaText;   // ISA of the interchange being split
    InterchangeIEA m_iea;
    ParseResult &m_result;
    LineFile m_out;
    bool m_firstGroup = true;
    bool m_writeFailed = false;
};

} // namespace

bool cleanParsedDirectory(const std::string &parsedDirPath)
{
    return removeRegularFilesIn(io::toPath(parsedDirPath));
}

void listParsedDirectory(const std::string &parsedDirPath, std::vector<std::string> &list)
{
    std::error_code ec;
    std::vector<std::string> names;
    fs::directory_iterator it(io::toPath(parsedDirPath), ec), end;
    for (; !ec && it != end; it.increment(ec))
        names.push_back(io::fromPath(it->path()));
    std::sort(names.begin(), names.end());
    list.insert(list.end(), names.begin(), names.end());
}

ParseResult splitIntoParsedFiles(const std::string &ediFileName, const std::string &parsedDirPath)
{
    ParseResult result;
    const fs::path dir = io::toPath(parsedDirPath);
    const fs::path input = io::toPath(ediFileName);
    if (isSymlink(dir)) {
        result.error = "the parsed directory \"" + parsedDirPath + "\" is a symbolic link; it is never followed";
        return result;
    }
    std::error_code ec;
    // The clean-up below would delete the input before it is read.
    if (!ediFileName.empty() && fs::is_regular_file(input, ec) && liesIn(input, dir)) {
        result.error = "\"" + ediFileName + "\" lies in the parsed directory, which every run empties first";
        return result;
    }
    cleanParsedDirectory(parsedDirPath);
    fs::create_directory(dir, ec);   // gone since construction: make it again

    if (ediFileName.empty() || fs::is_directory(input, ec)) {
        result.error = "\"" + ediFileName + "\" is not a file";
        return result;
    }
    FilePtr in = openFile(input, "rb");
    if (!in) {
        result.error = "cannot read \"" + ediFileName + "\"";
        return result;
    }
    std::setvbuf(in.get(), nullptr, _IOFBF, 1 << 16);
    std::string block(kReadBlockSize, '\0');
    block.resize(std::fread(block.data(), 1, block.size(), in.get()));
    if (std::ferror(in.get())) {
        result.error = "cannot read \"" + ediFileName + "\"";
        return result;
    }
    const auto header = detectHeader(block);
    if (!header) {
        result.error = "\"" + ediFileName + "\" holds no X12 interchange (no usable ISA header)";
        return result;
    }
    result.ok = true;
    std::string trailer = findTrailerIEA(in.get(), header->terminator, header->elementSeparator);
    SegmentCutter cutter(in.get(), input, header->terminator);
    ParsedFileWriter writer(cutter, dir, *header, std::move(trailer), result);
    const bool cut = cutter.run(writer);
    // A parsed file cut short would load as a wrong interchange: not a success.
    const bool written = writer.finish();
    if (!cut || !written) {
        result.ok = false;
        result.error = !cut ? cutter.error()
                            : "cannot write the parsed files in \"" + parsedDirPath + "\" (is the disk full?)";
        // Nothing of a failed run stays behind to be taken for a whole group.
        for (const auto &f : result.files)
            fs::remove(io::toPath(f), ec);
        result.files.clear();
    }
    return result;
}

} // namespace pelldrake::edi
