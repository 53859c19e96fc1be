#include "edi/tool/edi_tool.h"

#include "edi/check_io.h"
#include "edi/data_type.h"
#include "edi/edi_check.h"
#include "edi/from_ach.h"
#include "edi/safe_file.h"
#include "edi/tool/ack_command.h"
#include "edi/tool/command_line.h"
#include "edi/tool/report.h"
#include "edi/work_lock.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <stdexcept>

namespace pelldrake::edi::tool {

namespace fs = std::filesystem;

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

// Thrown at the next step once a stop was requested. Not a std::exception, so
// that no handler of a file's errors takes it for one: it unwinds the whole
// run, and the working directory's destructor removes a temporary one.
struct Stopped {
    int signal;
};

void stopPoint()
{
    if (const int signal = g_stopSignal)
        throw Stopped{signal};
}

const char *const kUsage =
    "usage:\n"
    "  pelldrake-edi split <interchange> [--work DIR] [--json]\n"
    "      split an X12 interchange into one parsed file per functional group,\n"
    "      in DIR/parsedDir (DIR defaults to the current directory)\n"
    "  pelldrake-edi check <file|directory>... [--work DIR] [--type SEG:NN:CODE]...\n"
    "                      [--rules FILE] [--json]\n"
    "      split, load and check every transaction set of every file (a directory:\n"
    "      every file in it): segment count, ST/SE control numbers, the\n"
    "      envelope and element data types (AN, ID, N.., R, DT, TM); --type adds a\n"
    "      rule, e.g. --type DTM:02:DT; --rules reads SEG:NN:CODE lines from FILE;\n"
    "      without --work a temporary directory is used and removed\n"
    "  pelldrake-edi ach <ach-file> <edi-file> [--copy FILE]\n"
    "      write the EDI text carried in the addenda records of an ACH file;\n"
    "      --copy also stores a byte-for-byte copy of the ACH file\n"
    "  pelldrake-edi ack <file|directory>... --out DIR [--state DIR] [--kind 997|999|auto]\n"
    "                    [--detail group|sets|errors|full] [--ta1 auto|always|never]\n"
    "                    [--type SEG:NN:CODE]... [--rules FILE] [--json]\n"
    "      write one acknowledgment interchange (TA1, 997 or 999) per interchange\n"
    "      read into DIR; control numbers per partner from the state folder\n"
    "  pelldrake-edi to-json <x12-file> [--out FILE]\n"
    "  pelldrake-edi from-json <json-file> [--out FILE]\n"
    "      the lossless JSON form of an X12 file, and back (byte for byte)\n"
    "  --json prints one JSON document instead of the text report\n"
    "exit codes: 0 all fine, 1 a check failed, 2 usage or input error\n"
    "(with several files: the worst of them); 128 + signal when stopped by one\n";

// A file or directory the command cannot use; reported without the usage text.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Runs the checker in a working directory and comes back afterwards.
class WorkDir {
public:
    explicit WorkDir(const std::string &requested)
    {
        m_old = fs::current_path();
        if (requested.empty()) {
            std::random_device rd;
            for (int i = 0; i < 100 && m_path.empty(); ++i) {
                const fs::path p = fs::temp_directory_path() / ("pelldrake-edi-" + std::to_string(rd()));
                if (fs::create_directory(p))
                    m_path = p;
            }
            if (m_path.empty())
                throw std::runtime_error("cannot create a temporary working directory");
            m_remove = true;
        } else {
            m_path = io::toPath(requested);
            std::error_code ec;
            fs::create_directories(m_path, ec);
            if (!fs::is_directory(m_path, ec))
                throw InputError("cannot create the working directory \"" + requested + "\"");
        }
        m_path = fs::absolute(m_path);
        fs::current_path(m_path);
    }
    ~WorkDir()
    {
        std::error_code ec;
        fs::current_path(m_old, ec);
        if (m_remove)
            fs::remove_all(m_path, ec);
    }
    WorkDir(const WorkDir &) = delete;
    WorkDir &operator=(const WorkDir &) = delete;

    const fs::path &path() const { return m_path; }
    bool temporary() const { return m_remove; }

private:
    fs::path m_old;
    fs::path m_path;
    bool m_remove = false;
};

// Holds the checker's working directory for the whole command, so that a
// second run in it stops at once instead of emptying this run's parsed files.
WorkLock holdWorkDir(const WorkDir &dir)
{
    try {
        return WorkLock(dir.path() / TlynEDICheck::kLockFileName);
    } catch (const WorkLockedError &e) {
        throw InputError(e.what());
    }
}

std::string absoluteName(const std::string &name)
{
    return io::fromPath(fs::absolute(io::toPath(name)));
}

std::string twoDigits(int n)
{
    return n < 10 ? "0" + std::to_string(n) : std::to_string(n);
}

// Checks the elements of one segment against the rules; reports failures.
int checkElements(std::string_view segment, const std::string &sep, const RuleIndex &rules, Reporter &report)
{
    const auto *found = rules.find(elementOf(segment, sep, 0));
    if (!found)
        return 0;
    int failures = 0;
    for (const TypeRule *rule : *found) {
        const std::string_view value = elementOf(segment, sep, rule->element);
        const int fault = value.empty() ? 0 : ruleFault(value, *rule);
        if (fault) {
            const std::string name = rule->segment + twoDigits(rule->element) + " \"" + std::string(value) + "\"";
            report.check("data type",
                         CheckResult::fail(fault == 4   ? name + " is shorter than " + std::to_string(rule->minLength)
                                           : fault == 5 ? name + " is longer than " + std::to_string(rule->maxLength)
                                                        : name + " is not a valid " + rule->typeCode));
            ++failures;
        }
    }
    return failures;
}

// Splits input into the parsed directory of the current (working) directory
// and lists the parsed files; throws InputError for a file that is no interchange.
std::vector<std::string> splitInto(TlynEDICheck &check, const std::string &file)
{
    check.ediFileName = file;
    if (!check.parseEDIData())
        throw InputError(check.lastError);
    std::vector<std::string> files;
    check.loadParsedFiles(files);
    std::erase_if(files, [](const std::string &f) {
        std::error_code ec;
        return !fs::is_regular_file(io::toPath(f), ec);
    });
    // Every interchange gives at least one parsed file.
    if (files.empty())
        throw InputError("cannot write the parsed files in \"" + check.parsedDirPath + "\"");
    return files;
}

// Throws InputError unless file (named input by the user) is a regular file
// or a link to one. A FIFO would block the run, a device never ends; a link
// loop or a link to nothing says why.
void requireRegularFile(const std::string &input, const std::string &file)
{
    const fs::path p = io::toPath(file);
    std::error_code ec;
    const fs::file_status st = fs::status(p, ec);
    if (fs::is_regular_file(st))
        return;
    std::string why;
    if (fs::exists(st))
        why = "not a regular file";
    else if (isSymlink(p))   // a loop, or a link to nothing
        why = ec ? ec.message() : std::make_error_code(std::errc::no_such_file_or_directory).message();
    throw InputError("cannot read \"" + input + "\"" + (why.empty() ? "" : ": " + why));
}

// The input as an absolute name (the work directory becomes current later).
std::string readableInput(const std::string &input)
{
    const std::string file = absoluteName(input);
    requireRegularFile(input, file);
    return file;
}

// Refuses inputs that the run itself would overwrite or delete.
void refuseOwnFiles(const std::string &input, const std::string &file, const TlynEDICheck &check)
{
    const fs::path p = io::toPath(file);
    const fs::path work = io::toPath(check.parsedDirPath).parent_path();
    if (sameFile(p, work / TlynEDICheck::kStoreFileName) || sameFile(p, work / TlynEDICheck::kLockFileName))
        throw InputError("\"" + input + "\" is the checker's own store or lock file in the working directory");
    if (liesIn(p, io::toPath(check.parsedDirPath)))
        throw InputError("\"" + input + "\" lies in the parsed directory, which every run empties first");
}

int split(const std::string &input, const std::string &work, Reporter &report)
{
    const std::string file = readableInput(input);
    WorkDir dir(work.empty() ? "." : work);
    const WorkLock lock = holdWorkDir(dir);
    TlynEDICheck check;
    refuseOwnFiles(input, file, check);
    report.beginFile(input, false);
    const std::vector<std::string> files = splitInto(check, file);
    stopPoint();
    report.parsedFiles(files);
    report.endFile(0, 0, 0, Ok);
    return Ok;
}

struct Counts {
    int groups = 0, sets = 0, failures = 0;
};

// The envelope of one group: every segment there, complete, and the IEA
// closing the interchange that the ISA opened.
int checkEnvelope(TlynEDICheck &check, const RuleIndex &rules, Reporter &report)
{
    int failures = 0;
    const char *const kinds[] = {"ISA", "GS", "GE", "IEA"};
    std::size_t found[4] = {~std::size_t{0}, ~std::size_t{0}, ~std::size_t{0}, ~std::size_t{0}};
    for (std::size_t r = 0; r < check.recordCount(); ++r) {
        const std::string &type = check.value(r, 0);
        for (int k = 0; k < 4; ++k)
            if (found[k] == ~std::size_t{0} && type == kinds[k])
                found[k] = r;
    }
    const std::string &sep = check.elementSeparator;
    auto segmentOf = [&](int k) {
        const std::string &data = check.value(found[k], 1);
        return std::string_view(data).substr(0, data.find('\n'));
    };
    // An interchange of no groups (IEA01 0) carries only TA1s, or nothing.
    const bool noGroups = found[1] == ~std::size_t{0} && found[2] == ~std::size_t{0} && found[3] != ~std::size_t{0} &&
                          elementOf(segmentOf(3), sep, 1) == "0";
    for (int k = 0; k < 4; ++k) {
        if (noGroups && (k == 1 || k == 2))
            continue;
        if (found[k] == ~std::size_t{0}) {
            report.check("envelope",
                         CheckResult::fail(std::string("ERROR: the group has no ") + kinds[k] + " segment"));
            ++failures;
            continue;
        }
        failures += checkElements(segmentOf(k), sep, rules, report);
    }
    if (found[3] != ~std::size_t{0}) {
        // An interchange cut off inside its IEA still has an IEA record: it
        // must have both elements, and IEA02 must repeat ISA13.
        const std::string_view iea = segmentOf(3);
        if (countElements(iea, sep) != 3) {
            report.check("envelope", CheckResult::fail("ERROR: the IEA segment is incomplete: " + std::string(iea)));
            ++failures;
        } else if (found[0] != ~std::size_t{0}) {
            const std::string_view isa13 = elementOf(segmentOf(0), sep, 13);
            const std::string_view iea02 = elementOf(iea, sep, 2);
            if (isa13 != iea02) {
                report.check("envelope", CheckResult::fail("ERROR: IEA02 " + std::string(iea02)
                                                           + " does not match ISA13 " + std::string(isa13)));
                ++failures;
            }
        }
    }
    return failures;
}

Counts checkGroup(TlynEDICheck &check, const RuleIndex &rules, Reporter &report)
{
    Counts c;
    c.failures += checkEnvelope(check, rules, report);
    for (int n = 1; n <= check.transactionSetCount; ++n) {
        stopPoint();
        ++c.sets;
        check.documentNumber = n;
        check.loadDocument();
        report.beginSet(n, check.getSTSegElement(1), check.getSTSegElement(2));
        static const std::pair<const char *, CheckResult (TlynEDICheck::*)()> controls[] = {
            {"segment count", &TlynEDICheck::checkSegmentCount},
            {"control numbers", &TlynEDICheck::checkSTCtrlNumbers},
        };
        for (const auto &[name, control] : controls) {
            CheckResult result;
            try {
                result = (check.*control)();
            } catch (const std::exception &e) {
                result = CheckResult::fail(std::string("ERROR: ") + e.what());
            }
            report.check(name, result);
            c.failures += !result.passed();
        }
        // Without its SE the checks above read the last segment as if it
        // were one, and may well agree with it.
        if (check.segmentList.empty() || elementOf(check.segmentList.back(), check.elementSeparator, 0) != "SE") {
            report.check("trailer", CheckResult::fail("ERROR: the transaction set does not end with an SE segment"));
            ++c.failures;
        }
        for (const std::string &segment : check.segmentList)
            c.failures += checkElements(segment, check.elementSeparator, rules, report);
        report.endSet();
    }
    return c;
}

int checkFile(TlynEDICheck &check, const std::string &input, const std::string &file, const RuleIndex &rules,
              bool keepParsed, Reporter &report)
{
    Counts total;
    requireRegularFile(input, file);
    refuseOwnFiles(input, file, check);
    const std::vector<std::string> files = splitInto(check, file);
    for (size_t f = 0; f < files.size(); ++f) {
        stopPoint();
        check.loadEDIData(files[f]);
        GroupInfo g;
        g.number = static_cast<int>(f + 1);
        if (keepParsed)
            g.parsedFile = files[f];
        g.functionalId = check.getGSSegElement(1);
        g.control = check.getGSSegElement(6);
        g.version = check.versionCode;
        g.sets = check.transactionSetCount;
        report.beginGroup(g);
        const Counts c = checkGroup(check, rules, report);
        report.endGroup();
        total.sets += c.sets;
        total.failures += c.failures;
    }
    const int code = total.failures ? CheckFailed : Ok;
    report.endFile(static_cast<int>(files.size()), total.sets, total.failures, code);
    return code;
}

// The files named: a directory gives every entry in it that is no directory,
// by name. What is not a regular file (a FIFO, a link loop, a link to
// nothing) is listed too, so that the report says it was not checked.
std::vector<std::string> expandInputs(const std::vector<std::string> &inputs)
{
    std::vector<std::string> out;
    for (const std::string &input : inputs) {
        std::error_code ec;
        const fs::path p = io::toPath(input);
        if (!fs::is_directory(p, ec)) {
            out.push_back(input);
            continue;
        }
        std::vector<std::string> names;
        for (fs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code fileEc;
            if (!it->is_directory(fileEc))
                names.push_back(io::fromPath(it->path()));
        }
        if (ec)
            names.push_back(input); // reported as unreadable
        std::sort(names.begin(), names.end());
        out.insert(out.end(), names.begin(), names.end());
    }
    return out;
}

int checkInputs(const std::vector<std::string> &inputs, const std::string &work, const std::vector<TypeRule> &rules,
                Reporter &report)
{
    const std::vector<std::string> files = expandInputs(inputs);
    const bool several = files.size() > 1 || inputs.size() > 1;
    // Named as given, read by their absolute names (the work directory becomes current).
    std::vector<std::string> absolute;
    for (const std::string &f : files)
        absolute.push_back(absoluteName(f));
    WorkDir dir(work);
    const WorkLock lock = holdWorkDir(dir);
    TlynEDICheck check;
    const RuleIndex index(rules);
    // Each split empties the parsed directory: only the groups of the last
    // file split keep their parsed files, so only they are named.
    std::size_t lastSplit = files.size();
    for (std::size_t i = files.size(); !dir.temporary() && i-- > 0 && lastSplit == files.size();) {
        try {
            requireRegularFile(files[i], absolute[i]);
            refuseOwnFiles(files[i], absolute[i], check);
            lastSplit = i;
        } catch (const InputError &) {
        }
    }
    int worst = Ok;
    for (std::size_t i = 0; i < files.size(); ++i) {
        stopPoint();
        const std::string &input = files[i];
        report.beginFile(input, several);
        int code;
        try {
            code = checkFile(check, input, absolute[i], index, i == lastSplit, report);
        } catch (const WorkLockedError &) {
            throw;
        } catch (const std::exception &e) {
            report.fileError(e.what());
            report.endFile(0, 0, 0, UsageOrInput);
            code = UsageOrInput;
        }
        worst = std::max(worst, code);
    }
    return worst;
}

int ach(const std::string &input, const std::string &output, const std::string &copy, std::ostream &out)
{
    std::error_code ec;
    if (!fs::is_regular_file(io::toPath(input), ec))
        throw InputError("cannot read \"" + input + "\"");
    // Outputs never replace the input or each other.
    if (sameFile(io::toPath(input), io::toPath(output)))
        throw InputError("the EDI file \"" + output + "\" is the ACH file itself");
    if (!copy.empty() && sameFile(io::toPath(output), io::toPath(copy)))
        throw InputError("the copy \"" + copy + "\" and the EDI file \"" + output + "\" are the same file");
    TlynEDIFromACH extractor;
    extractor.loadACHFile(input);
    const size_t records = extractor.lineCount();
    extractor.extractEDI();
    const size_t bytes = extractor.textSize();
    stopPoint();   // before anything is written
    if (!extractor.trySaveEDIData(output))
        throw InputError("cannot write \"" + output + "\"");
    if (!copy.empty())
        TlynEDIFromACH::storeCopyOfACH(input, copy);
    out << records << " record(s), " << extractor.lineCount() << " addenda record(s), " << bytes
        << " byte(s) of EDI text written to " << printable(output) << "\n";
    return Ok;
}

void onStopSignal(int signal) { requestStop(signal); }

} // namespace

void requestStop(int signal) noexcept { g_stopSignal = signal; }

int stopRequested() noexcept { return g_stopSignal; }

void stopOnSignals()
{
#ifdef _WIN32
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#else
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        ::sigaction(signal, &action, nullptr);
#endif
}

TypeRule parseRule(const std::string &text)
{
    const size_t a = text.find(':');
    const size_t b = a == std::string::npos ? a : text.find(':', a + 1);
    if (b == std::string::npos || a == 0 || b == a + 1 || b + 1 == text.size())
        throw std::invalid_argument("a rule is SEG:NN:CODE, not \"" + text + "\"");
    TypeRule rule;
    rule.segment = text.substr(0, a);
    try {
        size_t used = 0;
        rule.element = std::stoi(text.substr(a + 1, b - a - 1), &used);
        if (used != b - a - 1 || rule.element < 1)
            throw std::invalid_argument("element");
    } catch (const std::exception &) {
        throw std::invalid_argument("the element number must be 1 or more in \"" + text + "\"");
    }
    rule.typeCode = text.substr(b + 1);
    // Any other code would fail every value: most likely a typing error.
    const std::string &code = rule.typeCode;
    if (code != "AN" && code != "ID" && code != "R" && code != "TM" && code != "DT" && !isNumericTypeCode(code))
        throw std::invalid_argument("the data types are AN, ID, N.., R, DT and TM, not \"" + code + "\"");
    return rule;
}

std::vector<TypeRule> readRules(std::istream &in, const std::string &name)
{
    std::vector<TypeRule> rules;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#')
            continue;
        const auto last = line.find_last_not_of(" \t");
        try {
            rules.push_back(parseRule(line.substr(first, last - first + 1)));
        } catch (const std::invalid_argument &e) {
            throw std::invalid_argument(name + ":" + std::to_string(lineNo) + ": " + e.what());
        }
    }
    if (in.bad())
        throw std::invalid_argument("cannot read \"" + name + "\"");
    return rules;
}

namespace {

// The built-in rules and those the options add, in the order given. Reads
// the --rules files: only for a command known to take them.
std::vector<TypeRule> collectRules(const std::vector<RuleSource> &sources)
{
    std::vector<TypeRule> rules = defaultTypeRules();
    for (const auto &[isFile, text] : sources) {
        if (!isFile) {
            try {
                rules.push_back(parseRule(text));
            } catch (const std::invalid_argument &e) {
                throw UsageError(std::string("--type: ") + e.what());
            }
            continue;
        }
        std::ifstream in(io::toPath(text), std::ios::binary);
        if (!in)
            throw InputError("cannot read the rules file \"" + text + "\"");
        try {
            const auto more = readRules(in, text);
            rules.insert(rules.end(), more.begin(), more.end());
        } catch (const std::invalid_argument &e) {
            throw InputError(e.what());
        }
    }
    return rules;
}

// Runs the checked command. Errors of split and check go into their report.
int dispatch(const Options &options, std::ostream &out, std::ostream &err)
{
    if (options.command == Command::Ach)
        return ach(options.files[0], options.files[1], options.copy, out);
    if (options.command == Command::ToJson)
        return runToJson(options, out, err);
    if (options.command == Command::FromJson)
        return runFromJson(options, out, err);
    if (options.command == Command::Ack)
        return runAck(options, expandInputs(options.files), collectRules(options.ruleSources), out, err);
    const std::vector<TypeRule> rules =
        options.command == Command::Check ? collectRules(options.ruleSources) : std::vector<TypeRule>{};
    const auto report = options.json ? jsonReporter(out, options.name) : humanReporter(out, err);
    int code;
    try {
        code = options.command == Command::Split ? split(options.files[0], options.work, *report)
                                                 : checkInputs(options.files, options.work, rules, *report);
    } catch (const std::exception &e) {
        report->fileError(e.what());
        if (options.json)
            report->endFile(0, 0, 0, UsageOrInput);
        code = UsageOrInput;
    }
    report->finish(code);
    return code;
}

} // namespace

int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    try {
        if (args.empty()) {
            err << kUsage;
            return UsageOrInput;
        }
        if (args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
            out << kUsage;
            return Ok;
        }
        // Every option is checked before any file named is opened.
        Options options = parseArguments(args);
        checkCommand(options);
        return dispatch(options, out, err);
    } catch (const Stopped &s) {
        // A reader that went away (SIGPIPE) needs no word.
#ifdef SIGPIPE
        if (s.signal != SIGPIPE)
#endif
            err << "pelldrake-edi: stopped by signal " << s.signal << "; temporary files removed\n";
        return 128 + s.signal;
    } catch (const UsageError &e) {
        err << "pelldrake-edi: " << e.what() << "\n" << kUsage;
        return UsageOrInput;
    } catch (const std::exception &e) {
        err << "pelldrake-edi: " << printable(e.what()) << "\n";
        return UsageOrInput;
    }
}

} // namespace pelldrake::edi::tool
