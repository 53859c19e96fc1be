#include "edi/parsed_dir.h"

#include "edi/check_io.h"
#include "edi/interchange_splitter.h"

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
          m_isaText(header.isaText), m_trailer(std::move(trailerIEA)), m_result(result)
    {
    }

    SegmentCutter::Action segment(std::string_view seg, std::string_view rest) override
    {
        using Action = SegmentCutter::Action;
        const std::string_view body = seg.substr(0, seg.size() - 1);
        if (seg.size() > 3 && startsWith(seg, "IEA") && seg[3] == m_sep) {
            writeLine(body);
            return Action::SkipToISA;   // the next interchange, if any, follows
        }
        if (hasTag(seg, "GS")) {
            if (m_firstGroup) {
                m_firstGroup = false;
            } else {
                const std::string &iea = interchangeIEA();
                if (!iea.empty())
                    writeLine(iea);
                closeFile();
                startFile(true);   // when it fails, this group's lines are lost
            }
        } else if (startsWith(seg, "ISA")) {
            if (rest.size() > 105) {
                m_sep = rest[3];
                m_term = rest[105];
                m_cutter.setTerminator(m_term);
            }
            m_result.elementSeparator.assign(1, m_sep);
            m_result.subElementSeparator = isa16(seg);
            m_isaText.assign(body);
            m_ieaKnown = false;
            m_firstGroup = true;
            closeFile();
            if (!startFile(false)) {
                // Tried again once the next block is read, within reason.
                return rest.size() > kMaxSegmentLength ? Action::Stop : Action::Defer;
            }
        }
        writeLine(body);
        return Action::Next;
    }

private:
    std::string isa16(std::string_view seg) const
    {
        int n = 0;
        for (size_t p = 0; p < seg.size(); ++p)
            if (seg[p] == m_sep && ++n == 16)
                return p + 1 < seg.size() ? std::string(1, seg[p + 1]) : std::string();
        return {};
    }

    bool startFile(bool withIsa)
    {
        FilePtr f;
        fs::path name;
        try {
            name = m_namer.create(m_dir, f);
        } catch (const FileError &) {
            return false;
        }
        m_out = std::move(f);
        m_result.files.push_back(io::fromPath(name));
        writeLine(separatorCode(m_term));
        writeLine(separatorCode(m_sep));
        writeLine(m_result.subElementSeparator);
        if (withIsa)
            writeLine(m_isaText);
        return true;
    }

    // Lines collect in a buffer of our own: one fwrite per 64 KB, not two per line.
    void writeLine(std::string_view text)
    {
        if (!m_out)
            return;
        m_buf.append(text);
        m_buf.append("\r\n", 2);
        if (m_buf.size() >= (1 << 16))
            flush();
    }

    void flush()
    {
        if (m_out && !m_buf.empty())
            std::fwrite(m_buf.data(), 1, m_buf.size(), m_out.get());
        m_buf.clear();
    }

    void closeFile()
    {
        flush();
        m_out.reset();
    }

public:
    ~ParsedFileWriter() override { closeFile(); }

private:

    // The IEA closing the current interchange, looked up once per interchange.
    const std::string &interchangeIEA()
    {
        if (!m_ieaKnown) {
            std::string found;
            switch (m_cutter.findInterchangeIEA(m_sep, found)) {
            case SegmentCutter::Lookahead::Found:
                m_iea = std::move(found);
                break;
            case SegmentCutter::Lookahead::NextInterchange:
                m_iea.clear();
                break;
            case SegmentCutter::Lookahead::EndOfInput:
                m_iea = m_trailer.empty() ? std::string() : m_trailer.substr(0, m_trailer.size() - 1);
                break;
            }
            m_ieaKnown = true;
        }
        return m_iea;
    }

    SegmentCutter &m_cutter;
    fs::path m_dir;
    TimestampFileNamer m_namer;
    char m_term;
    char m_sep;
    std::string m_isaText;   // ISA of the interchange being split
    std::string m_trailer;   // IEA at the end of the file, with its terminator
    ParseResult &m_result;
    FilePtr m_out;
    std::string m_buf;
    bool m_firstGroup = true;
    bool m_ieaKnown = false;
    std::string m_iea;
};

} // namespace

void cleanParsedDirectory(const std::string &parsedDirPath)
{
    std::error_code ec;
    fs::directory_iterator it(io::toPath(parsedDirPath), ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code fileEc;
        if (it->is_regular_file(fileEc))
            fs::remove(it->path(), fileEc);
    }
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
    cleanParsedDirectory(parsedDirPath);
    const fs::path dir = io::toPath(parsedDirPath);
    std::error_code ec;
    fs::create_directory(dir, ec);   // gone since construction: make it again

    const fs::path input = io::toPath(ediFileName);
    if (ediFileName.empty() || fs::is_directory(input, ec))
        return result;
    FilePtr in = openFile(input, "rb");
    if (!in)
        return result;
    std::setvbuf(in.get(), nullptr, _IOFBF, 1 << 16);
    std::string block(kReadBlockSize, '\0');
    block.resize(std::fread(block.data(), 1, block.size(), in.get()));
    const auto header = detectHeader(block);
    if (!header)
        return result;
    result.ok = true;
    std::string trailer = findTrailerIEA(in.get(), header->terminator, header->elementSeparator);
    SegmentCutter cutter(in.get(), input, header->terminator);
    ParsedFileWriter writer(cutter, dir, *header, std::move(trailer), result);
    cutter.run(writer);
    return result;
}

} // namespace pelldrake::edi
