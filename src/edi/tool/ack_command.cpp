#include "edi/tool/ack_command.h"

#include "edi/ack_state.h"
#include "edi/check_io.h"
#include "edi/safe_file.h"
#include "edi/tool/edi_tool.h"
#include "edi/tool/report.h"
#include "edi/x12_json.h"

#include <algorithm>
#include <filesystem>

namespace pelldrake::edi::tool {

namespace fs = std::filesystem;

namespace {

// Temporary names of this process; the state folder is held, so no other
// run writes beside them.
unsigned long g_tempSerial = 0;

// A signal asked the run to stop: the file being written is dropped.
struct AckStopped {
    int signal;
};

AckOptions ackOptions(const Options &o, const std::vector<TypeRule> &rules)
{
    AckOptions a;
    a.kind = o.kind == "997" ? AckKind::Fa997 : o.kind == "999" ? AckKind::Fa999 : AckKind::Auto;
    a.detail = o.detail == "group"  ? AckDetail::Group
               : o.detail == "sets" ? AckDetail::Sets
               : o.detail == "full" ? AckDetail::Full
                                    : AckDetail::Errors;
    a.ta1 = o.ta1 == "always" ? Ta1Mode::Always : o.ta1 == "never" ? Ta1Mode::Never : Ta1Mode::Auto;
    a.rules = rules;
    return a;
}

// What ack tells, as text or as one JSON document shaped like check's.
class AckReport {
public:
    AckReport(std::ostream &out, std::ostream &err, bool json) : m_out(out), m_err(err), m_json(json)
    {
        if (m_json)
            m_out << "{\"command\":\"ack\",\"files\":[";
    }
    void beginFile(const std::string &name)
    {
        m_interchanges = 0;
        if (m_json)
            m_out << (m_files++ ? "," : "") << "{\"file\":" << jsonString(name) << ",\"interchanges\":[";
        else
            m_out << "== " << printable(name) << "\n";
    }
    void interchange(const AckInterchange &ic, const std::string &written)
    {
        if (m_json) {
            m_out << (m_interchanges++ ? "," : "") << "{\"sender\":" << jsonString(ic.sender)
                  << ",\"receiver\":" << jsonString(ic.receiver) << ",\"control\":" << jsonString(ic.control);
            if (!written.empty())
                m_out << ",\"acknowledgment\":" << jsonString(written) << ",\"ackControl\":"
                      << jsonString(ic.ackControl) << ",\"kind\":" << jsonString(ic.kinds);
            if (!ic.ta1Code.empty())
                m_out << ",\"ta1\":{\"status\":\"" << ic.ta1Status << "\",\"code\":" << jsonString(ic.ta1Code) << "}";
            m_out << ",\"groups\":[";
            for (std::size_t i = 0; i < ic.groups.size(); ++i) {
                const AckGroupSummary &g = ic.groups[i];
                m_out << (i ? "," : "") << "{\"functionalId\":" << jsonString(g.functionalId)
                      << ",\"control\":" << jsonString(g.control) << ",\"version\":" << jsonString(g.version)
                      << ",\"answered\":" << (g.answered ? "true" : "false") << ",\"status\":\"" << g.status
                      << "\",\"declared\":" << g.declared << ",\"received\":" << g.received
                      << ",\"accepted\":" << g.accepted << ",\"codes\":[";
                for (std::size_t k = 0; k < g.groupCodes.size(); ++k)
                    m_out << (k ? "," : "") << jsonString(g.groupCodes[k]);
                m_out << "]}";
            }
            m_out << "],\"findings\":[";
            for (std::size_t i = 0; i < ic.findings.size(); ++i)
                m_out << (i ? "," : "") << jsonString(ic.findings[i]);
            m_out << "]}";
            return;
        }
        m_out << "interchange " << printable(ic.control) << " from " << printable(ic.sender) << ": ";
        if (written.empty())
            m_out << "nothing to acknowledge\n";
        else
            m_out << (ic.kinds.empty() ? "TA1" : ic.kinds) << " " << ic.ackControl << " written to "
                  << printable(written) << "\n";
        if (!ic.ta1Code.empty())
            m_out << "  TA1 " << ic.ta1Status << " " << ic.ta1Code << "\n";
        for (const AckGroupSummary &g : ic.groups)
            m_out << "  group " << printable(g.control) << " (" << printable(g.functionalId) << "): "
                  << (g.answered ? std::string(1, g.status)
                      : g.functionalId == "FA" ? std::string("not answered (an acknowledgment)")
                                               : std::string("not answered (a duplicate interchange)"))
                  << ", " << g.accepted << " of " << g.received << " set(s) accepted\n";
        for (const std::string &f : ic.findings)
            m_out << "    " << printable(f) << "\n";
    }
    void endFile(int code, const std::string &error)
    {
        if (!error.empty())
            m_err << "pelldrake-edi: " << printable(error) << "\n";
        if (m_json) {
            m_out << "]";
            if (!error.empty())
                m_out << ",\"error\":" << jsonString(error);
            m_out << ",\"exitCode\":" << code << "}";
        }
    }
    // The end of the whole run: the last file's end, its line ended.
    void finish(int code, const std::string &error)
    {
        endFile(code, error);
        if (m_json)
            m_out << "\n";
        m_out.flush();
    }

private:
    std::ostream &m_out;
    std::ostream &m_err;
    bool m_json;
    int m_files = 0, m_interchanges = 0;
};

// Fails at once when nothing can be created in dir, before any input is read.
void requireWritableFolder(const fs::path &dir, const std::string &given)
{
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec))
        throw FileError("cannot create the output folder \"" + given + "\"");
    try {
        ReplacingFile probe(dir / ".pelldrake-ack-probe");
    } catch (const FileError &e) {
        throw FileError("cannot write in the output folder \"" + given + "\": " + e.what());
    }
}

// Removes what a killed run left in dir: acknowledgments under their
// temporary names ("<name>.x12.tmp<digits>"). Called with the state folder held.
void removeKilledRunsFiles(const fs::path &dir)
{
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = io::fromPath(it->path().filename());
        const auto at = name.rfind(".x12.tmp");
        if (at == std::string::npos || at + 8 == name.size() ||
            name.find_first_not_of("0123456789", at + 8) != std::string::npos)
            continue;
        std::error_code removeEc;
        if (it->symlink_status(removeEc).type() == fs::file_type::regular)
            fs::remove(it->path(), removeEc);
    }
}

// Writes the answer under a temporary name and renames it into place; an
// existing acknowledgment is never replaced. Not synced one by one (that
// would cost milliseconds each): a killed run leaves whole files or none.
std::string writeAcknowledgment(const fs::path &dir, const AckInterchange &ic)
{
    const std::string name = AckState::fileName(ic.sender) + "-" + ic.ackControl + ".x12";
    const fs::path target = dir / name;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(target, ec)))
        throw FileError("\"" + io::fromPath(target) + "\" exists already: was the state folder reset?");
    const fs::path temp = dir / ("." + name + ".tmp" + std::to_string(++g_tempSerial));
    FilePtr f = openFile(temp, "wbx");
    if (!f)
        throw FileError("cannot create \"" + io::fromPath(temp) + "\"");
    const bool ok = std::fwrite(ic.text.data(), 1, ic.text.size(), f.get()) == ic.text.size() &&
                    std::fclose(f.release()) == 0;
    if (ok)
        fs::rename(temp, target, ec);
    if (!ok || ec) {
        fs::remove(temp, ec);
        throw FileError("cannot write \"" + io::fromPath(target) + "\"");
    }
    return io::fromPath(target);
}

int ackFile(const std::string &input, const fs::path &outDir, const AckOptions &options, AckState &state,
            AckReport &report)
{
    report.beginFile(input);
    int code = Ok;
    std::string error;
    try {
        std::error_code ec;
        const fs::file_status st = fs::status(io::toPath(input), ec);
        if (!fs::is_regular_file(st))
            throw FileError("cannot read \"" + input + "\": " +
                            (fs::exists(st) ? "not a regular file" : "no such file"));
        FilePtr in = openFile(io::toPath(input), "rb");
        if (!in)
            throw FileError("cannot read \"" + input + "\"");
        acknowledgeFile(in.get(), input, options, state, [&](AckInterchange &ic) {
            if (const int signal = stopRequested())
                throw AckStopped{signal};
            const std::string written = ic.text.empty() ? std::string() : writeAcknowledgment(outDir, ic);
            report.interchange(ic, written);
            if (ic.faulty())
                code = CheckFailed;
        });
    } catch (const AckStopped &) {
        throw;
    } catch (const std::exception &e) {
        error = e.what();
        code = UsageOrInput;
    }
    report.endFile(code, error);
    return code;
}

// The output file of to-json/from-json, or standard output.
template <typename Convert>
int convert(const Options &options, std::ostream &out, Convert convertFn)
{
    // Both directions stream, so a pipe serves as well as a file.
    const std::string &input = options.files[0];
    std::error_code ec;
    if (fs::is_directory(io::toPath(input), ec))
        throw FileError("cannot read \"" + input + "\": a directory");
    if (options.outGiven && sameFile(io::toPath(input), io::toPath(options.out)))
        throw FileError("the output \"" + options.out + "\" is the input itself");
    FilePtr in = openFile(io::toPath(input), "rb");
    if (!in)
        throw FileError("cannot read \"" + input + "\"");
    if (!options.outGiven) {
        convertFn(fileSource(in.get()), [&](std::string_view bytes) {
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            if (const int signal = stopRequested())
                throw AckStopped{signal};
        });
        out.flush();
        return Ok;
    }
    ReplacingFile file(io::toPath(options.out));
    convertFn(fileSource(in.get()), [&](std::string_view bytes) {
        if (!file.write(bytes))
            throw FileError("cannot write \"" + options.out + "\"");
        if (const int signal = stopRequested())
            throw AckStopped{signal};
    });
    file.commit();
    return Ok;
}

int stoppedCode(std::ostream &err, int signal)
{
    err << "pelldrake-edi: stopped by signal " << signal << "; no partial file left\n";
    return 128 + signal;
}

} // namespace

int runAck(const Options &options, const std::vector<std::string> &files, const std::vector<TypeRule> &rules,
           std::ostream &out, std::ostream &err)
{
    AckReport report(out, err, options.json);
    int worst = Ok;
    try {
        const fs::path outDir = io::toPath(options.out);
        requireWritableFolder(outDir, options.out);
        AckState state(options.stateGiven ? io::toPath(options.state) : AckState::defaultFolder());
        removeKilledRunsFiles(outDir);
        const AckOptions ack = ackOptions(options, rules);
        for (const std::string &f : files) {
            if (const int signal = stopRequested())
                throw AckStopped{signal};
            worst = std::max(worst, ackFile(f, outDir, ack, state, report));
        }
    } catch (const AckStopped &s) {
        return stoppedCode(err, s.signal);
    } catch (const std::exception &e) {
        report.finish(UsageOrInput, e.what());
        return UsageOrInput;
    }
    report.finish(worst, {});
    return worst;
}

int runToJson(const Options &options, std::ostream &out, std::ostream &err)
{
    try {
        return convert(options, out, [](ByteSource in, ByteSink sink) { x12ToJson(std::move(in), std::move(sink)); });
    } catch (const AckStopped &s) {
        return stoppedCode(err, s.signal);
    }
}

int runFromJson(const Options &options, std::ostream &out, std::ostream &err)
{
    try {
        return convert(options, out, [](ByteSource in, ByteSink sink) { jsonToX12(std::move(in), std::move(sink)); });
    } catch (const AckStopped &s) {
        return stoppedCode(err, s.signal);
    }
}

} // namespace pelldrake::edi::tool
