#include "edi/tool/edi_tool.h"

#include "edi/check_io.h"
#include "edi/data_type.h"
#include "edi/edi_check.h"
#include "edi/from_ach.h"

#include <filesystem>
#include <random>
#include <stdexcept>
#include <tuple>

namespace pelldrake::edi::tool {

namespace fs = std::filesystem;

namespace {

const char *const kUsage =
    "usage:\n"
    "  pelldrake-edi split <interchange> [--work DIR]\n"
    "      split an X12 interchange into one parsed file per functional group,\n"
    "      in DIR/parsedDir (DIR defaults to the current directory)\n"
    "  pelldrake-edi check <interchange> [--work DIR] [--type SEG:NN:CODE]...\n"
    "      split, load and check every transaction set: segment count, ST/SE\n"
    "      control numbers and element data types (AN, ID, N.., R, DT, TM);\n"
    "      --type adds a rule, e.g. --type DTM:02:DT (element 2 of DTM is a date);\n"
    "      without --work a temporary directory is used and removed\n"
    "  pelldrake-edi ach <ach-file> <edi-file> [--copy FILE]\n"
    "      write the EDI text carried in the addenda records of an ACH file;\n"
    "      --copy also stores a byte-for-byte copy of the ACH file\n"
    "exit codes: 0 all fine, 1 a check failed, 2 usage or input error\n";

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

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

private:
    fs::path m_old;
    fs::path m_path;
    bool m_remove = false;
};

TypeRule parseRule(const std::string &text)
{
    const size_t a = text.find(':');
    const size_t b = a == std::string::npos ? a : text.find(':', a + 1);
    if (b == std::string::npos || a == 0 || b == a + 1 || b + 1 == text.size())
        throw UsageError("--type wants SEG:NN:CODE, not \"" + text + "\"");
    TypeRule rule;
    rule.segment = text.substr(0, a);
    try {
        size_t used = 0;
        rule.element = std::stoi(text.substr(a + 1, b - a - 1), &used);
        if (used != b - a - 1 || rule.element < 1)
            throw std::invalid_argument("element");
    } catch (const std::exception &) {
        throw UsageError("--type element number must be 1 or more in \"" + text + "\"");
    }
    rule.typeCode = text.substr(b + 1);
    // Any other code would fail every value: most likely a typing error.
    const std::string &code = rule.typeCode;
    if (code != "AN" && code != "ID" && code != "R" && code != "TM" && code != "DT" && code[0] != 'N')
        throw UsageError("--type knows the data types AN, ID, N.., R, DT and TM, not \"" + code + "\"");
    return rule;
}

std::string absoluteName(const std::string &name)
{
    return io::fromPath(fs::absolute(io::toPath(name)));
}

std::string twoDigits(int n)
{
    return n < 10 ? "0" + std::to_string(n) : std::to_string(n);
}

// Checks the elements of one segment against the rules; prints failures.
int checkElements(const std::string &segment, const std::string &sep, const std::vector<TypeRule> &rules,
                  const std::string &indent, std::ostream &out)
{
    int failures = 0;
    const std::string_view tag = elementOf(segment, sep, 0);
    for (const TypeRule &rule : rules) {
        if (rule.segment != tag)
            continue;
        const std::string value(elementOf(segment, sep, rule.element));
        if (!value.empty() && !validateDataType(value, rule.typeCode)) {
            out << indent << rule.segment << twoDigits(rule.element) << " \"" << value << "\" is not a valid "
                << rule.typeCode << "\n";
            ++failures;
        }
    }
    return failures;
}

bool isError(const std::string &text) { return text.rfind("ERROR", 0) == 0; }

// Splits input into the parsed directory of the current (working) directory
// and lists the parsed files; throws InputError for a file that is no interchange.
std::vector<std::string> splitInto(TlynEDICheck &check, const std::string &input, const std::string &file)
{
    check.ediFileName = file;
    const bool ok = check.parseEDIData();
    std::vector<std::string> files;
    check.loadParsedFiles(files);
    std::erase_if(files, [](const std::string &f) {
        std::error_code ec;
        return !fs::is_regular_file(io::toPath(f), ec);
    });
    // Every interchange gives at least one parsed file; a run that failed but
    // left files behind could not write them whole.
    if (ok ? files.empty() : !files.empty())
        throw InputError("cannot write the parsed files in \"" + check.parsedDirPath + "\"");
    if (!ok)
        throw InputError("\"" + input + "\" holds no X12 interchange (no usable ISA header)");
    return files;
}

// The input as an absolute name (the work directory becomes current later).
std::string readableInput(const std::string &input)
{
    const std::string file = absoluteName(input);
    std::error_code ec;
    if (!fs::is_regular_file(io::toPath(file), ec))
        throw InputError("cannot read \"" + input + "\"");
    return file;
}

int split(const std::string &input, const std::string &work, std::ostream &out)
{
    const std::string file = readableInput(input);
    WorkDir dir(work.empty() ? "." : work);
    TlynEDICheck check;
    const std::vector<std::string> files = splitInto(check, input, file);
    for (const auto &f : files)
        out << f << "\n";
    out << files.size() << " parsed file(s)\n";
    return Ok;
}

int checkInterchange(const std::string &input, const std::string &work, const std::vector<TypeRule> &rules,
                     std::ostream &out)
{
    const std::string file = readableInput(input);
    WorkDir dir(work);
    TlynEDICheck check;
    const std::vector<std::string> files = splitInto(check, input, file);
    int failures = 0;
    int sets = 0;
    for (size_t f = 0; f < files.size(); ++f) {
        check.loadEDIData(files[f]);
        out << "group " << (f + 1) << ": GS " << check.getGSSegElement(1) << " control " << check.getGSSegElement(6)
            << ", version " << check.versionCode << ", " << check.transactionSetCount << " transaction set(s)\n";
        // The envelope segments of the group: a parsed file of a complete
        // interchange holds one of each, so a missing one is a failure too.
        for (const char *envelope : {"ISA", "GS", "GE", "IEA"}) {
            bool found = false;
            for (check.first(); !check.eof() && !found; check.next()) {
                if (check.fieldByName("Type").asString() != envelope)
                    continue;
                const std::string &data = check.fieldByName("Data").asString();
                failures += checkElements(data.substr(0, data.find('\n')), check.elementSeparator, rules, "  ", out);
                found = true;
            }
            if (!found) {
                out << "  ERROR: the group has no " << envelope << " segment\n";
                ++failures;
            }
        }
        for (int n = 1; n <= check.transactionSetCount; ++n) {
            ++sets;
            check.documentNumber = n;
            check.loadDocument();
            out << "  set " << n << ": ST " << check.getSTSegElement(1) << " " << check.getSTSegElement(2) << "\n";
            for (auto control : {&TlynEDICheck::checkSegmentCount, &TlynEDICheck::checkSTCtrlNumbers}) {
                std::string text;
                try {
                    text = (check.*control)();
                } catch (const std::exception &e) {
                    text = std::string("ERROR: ") + e.what();
                }
                out << "    " << text << "\n";
                failures += isError(text);
            }
            // Without its SE the checks above read the last segment as if it
            // were one, and may well agree with it.
            if (check.segmentList.empty() || elementOf(check.segmentList.back(), check.elementSeparator, 0) != "SE") {
                out << "    ERROR: the transaction set does not end with an SE segment\n";
                ++failures;
            }
            for (const std::string &segment : check.segmentList)
                failures += checkElements(segment, check.elementSeparator, rules, "    ", out);
        }
    }
    out << files.size() << " group(s), " << sets << " transaction set(s), " << failures << " failure(s)\n";
    return failures ? CheckFailed : Ok;
}

int ach(const std::string &input, const std::string &output, const std::string &copy, std::ostream &out)
{
    std::error_code ec;
    if (!fs::is_regular_file(io::toPath(input), ec))
        throw InputError("cannot read \"" + input + "\"");
    TlynEDIFromACH extractor;
    extractor.loadACHFile(input);
    const size_t records = extractor.lines().size();
    extractor.extractEDI();
    size_t bytes = 0;
    for (const auto &piece : extractor.lines())
        bytes += piece.size();
    if (!extractor.trySaveEDIData(output))
        throw InputError("cannot write \"" + output + "\"");
    if (!copy.empty())
        TlynEDIFromACH::storeCopyOfACH(input, copy);
    out << records << " record(s), " << extractor.lines().size() << " addenda record(s), " << bytes
        << " byte(s) of EDI text written to " << output << "\n";
    return Ok;
}

} // namespace

const std::vector<TypeRule> &defaultTypeRules()
{
    static const std::vector<TypeRule> rules = {
        {"ISA", 9, "DT"},  {"ISA", 10, "TM"}, {"ISA", 13, "N0"}, {"GS", 4, "DT"},   {"GS", 5, "TM"},
        {"GS", 6, "N0"},   {"GE", 1, "N0"},   {"GE", 2, "N0"},   {"IEA", 1, "N0"},  {"IEA", 2, "N0"},
        {"SE", 1, "N0"},   {"BEG", 5, "DT"},  {"DTM", 2, "DT"},  {"DTM", 3, "TM"},  {"PO1", 2, "R"},
        {"PO1", 4, "R"},   {"CTT", 1, "N0"},  {"BPR", 2, "R"},   {"BPR", 16, "DT"}, {"RMR", 4, "R"},
    };
    return rules;
}

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
        std::vector<std::string> positional;
        std::string work, copy;
        bool workGiven = false, typeGiven = false, copyGiven = false;
        std::vector<TypeRule> rules = defaultTypeRules();
        for (size_t i = 1; i < args.size(); ++i) {
            const std::string &a = args[i];
            auto value = [&]() -> const std::string & {
                if (i + 1 >= args.size())
                    throw UsageError(a + " wants a value");
                return args[++i];
            };
            if (a == "--work") {
                work = value();
                workGiven = true;
            } else if (a == "--copy") {
                copy = value();
                copyGiven = true;
            } else if (a == "--type") {
                rules.push_back(parseRule(value()));
                typeGiven = true;
            } else if (a.size() > 1 && a[0] == '-') {
                throw UsageError("unknown option " + a);
            } else {
                positional.push_back(a);
            }
        }
        const std::string &command = args[0];
        // Which options each command takes, and how many files.
        struct Shape {
            const char *name;
            size_t files;
            const char *filesText;
            bool work, type, copy;
        };
        static const Shape shapes[] = {
            {"split", 1, "one interchange file", true, false, false},
            {"check", 1, "one interchange file", true, true, false},
            {"ach", 2, "an ACH file and the EDI file to write", false, false, true},
        };
        const Shape *shape = nullptr;
        for (const Shape &candidate : shapes)
            if (command == candidate.name)
                shape = &candidate;
        if (!shape)
            throw UsageError("unknown command \"" + command + "\"");
        if (positional.size() != shape->files)
            throw UsageError(command + " wants " + shape->filesText);
        for (const auto &[given, allowed, option] : {std::tuple{workGiven, shape->work, "--work"},
                                                     std::tuple{typeGiven, shape->type, "--type"},
                                                     std::tuple{copyGiven, shape->copy, "--copy"}})
            if (given && !allowed)
                throw UsageError(std::string(option) + " is not an option of " + command);
        if (command == "split")
            return split(positional[0], work, out);
        if (command == "check")
            return checkInterchange(positional[0], work, rules, out);
        return ach(positional[0], positional[1], copy, out);
    } catch (const UsageError &e) {
        err << "pelldrake-edi: " << e.what() << "\n" << kUsage;
        return UsageOrInput;
    } catch (const std::exception &e) {
        err << "pelldrake-edi: " << e.what() << "\n";
        return UsageOrInput;
    }
}

} // namespace pelldrake::edi::tool
