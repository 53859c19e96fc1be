#include "edi/parsed_dir.h"

#include "edi/check_io.h"
#include "edi/interchange_splitter.h"
#include "edi/safe_file.h"
#include "edi/text_lines.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
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
                if (!startFile(true))
                    return Action::Stop;   // the group would be lost: the run fails
            }
        } else if (startsWith(seg, "ISA")) {
            if (seg.size() > kIsaElementSeparatorAt)
                m_sep = seg[kIsaElementSeparatorAt];
            m_term = m_cutter.terminator();
            m_result.elementSeparator.assign(1, m_sep);
            m_result.subElementSeparator = subElementSeparatorOf(seg, m_sep);
            m_isaText.assign(body);
            m_iea.reset();
            m_firstGroup = true;
            closeFile();
            if (!startFile(false))
                return Action::Stop;
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
        } catch (const FileError &e) {
            m_createError = e.error() ? std::strerror(e.error()) : e.what();
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
    // Why a parsed file could not be created (the run stopped there); empty
    // when every one was.
    const std::string &createError() const { return m_createError; }

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
    std::string m_createError;
};

// The parsed files of one run are written into a directory beside the parsed
// directory, which takes the parsed directory's place only once the set is
// whole: a run that is killed or fails leaves no partial set that looks whole.
class StagedSet {
public:
    explicit StagedSet(const fs::path &parsedDir) : m_path(createTemporaryDirectoryBeside(parsedDir)) {}
    ~StagedSet()
    {
        std::error_code ec;
        if (!m_path.empty())
            fs::remove_all(m_path, ec);
    }
    StagedSet(const StagedSet &) = delete;
    StagedSet &operator=(const StagedSet &) = delete;

    const fs::path &path() const { return m_path; }

    // Puts the set in place of parsedDir (emptied of files before) and names
    // files there. Throws FileError with the system's reason.
    void publish(const fs::path &parsedDir, std::vector<std::string> &files)
    {
        std::error_code ec;
#ifdef _WIN32
        fs::remove(parsedDir, ec);   // a directory is renamed over nothing there
#endif
        // One rename replaces the empty parsed directory with the whole set.
        fs::rename(m_path, parsedDir, ec);
        if (ec) {
            // Subdirectories or links the clean-up leaves in place: the files
            // move one by one, and all go back out if one cannot.
            for (std::size_t i = 0; i < files.size(); ++i) {
                const fs::path from = io::toPath(files[i]);
                fs::rename(from, parsedDir / from.filename(), ec);
                if (ec) {
                    const std::string why = ec.message();
                    for (std::size_t k = 0; k < i; ++k)
                        fs::remove(parsedDir / io::toPath(files[k]).filename(), ec);
                    throw FileError("cannot write the parsed files in \"" + io::fromPath(parsedDir) + "\": " + why);
                }
            }
        } else {
            m_path.clear();
        }
        for (std::string &f : files)
            f = io::fromPath(parsedDir / io::toPath(f).filename());
    }

private:
    fs::path m_path;
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
    std::optional<StagedSet> staged;
    try {
        staged.emplace(dir);
    } catch (const FileError &e) {
        result.error = "cannot write the parsed files in \"" + parsedDirPath + "\": " + e.what();
        return result;
    }
    std::string trailer = findTrailerIEA(in.get(), header->terminator, header->elementSeparator);
    SegmentCutter cutter(in.get(), input, header->terminator);
    ParsedFileWriter writer(cutter, staged->path(), *header, std::move(trailer), result);
    const bool cut = cutter.run(writer);
    // A parsed file cut short would load as a wrong interchange, a group
    // without its file would be missing: neither is a success.
    const bool written = writer.finish();
    if (!writer.createError().empty())
        result.error = "cannot create a parsed file in \"" + parsedDirPath + "\": " + writer.createError();
    else if (!cut)
        result.error = cutter.error();
    else if (!written)
        result.error = "cannot write the parsed files in \"" + parsedDirPath + "\" (is the disk full?)";
    if (result.error.empty()) {
        try {
            staged->publish(dir, result.files);
            result.ok = true;
            return result;
        } catch (const FileError &e) {
            result.error = e.what();
        }
    }
    // Nothing of a failed run stays behind to be taken for a whole group: the
    // staged set goes with its directory.
    result.files.clear();
    return result;
}

} // namespace pelldrake::edi
