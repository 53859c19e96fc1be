#include "edi/tool/report.h"

#include "edi/utf8.h"

#include <algorithm>

namespace pelldrake::edi::tool {

namespace {

const char kHex[] = "0123456789abcdef";

void appendHex(std::string &out, unsigned char c)
{
    out += kHex[c >> 4];
    out += kHex[c & 15];
}

class Human : public Reporter {
public:
    Human(std::ostream &out, std::ostream &err) : m_out(out), m_err(err) {}

    void beginFile(const std::string &name, bool several) override
    {
        m_several = several;
        m_name = name;
        if (several)
            m_out << "== " << printable(name) << "\n";
    }
    void fileError(const std::string &message) override
    {
        m_err << "pelldrake-edi: " << printable(message) << "\n";
        ++m_errors;
    }
    void beginGroup(const GroupInfo &g) override
    {
        m_indent = "  ";
        m_out << "group " << g.number << ": GS " << printable(g.functionalId) << " control " << printable(g.control)
              << ", version " << printable(g.version) << ", " << g.sets << " transaction set(s)\n";
    }
    void beginSet(int number, std::string_view id, std::string_view control) override
    {
        m_out << "  set " << number << ": ST " << printable(id) << " " << printable(control) << "\n";
        m_indent = "    ";
    }
    void check(std::string_view, const CheckResult &result) override
    {
        m_out << m_indent << printable(result.text) << "\n";
    }
    void endSet() override { m_indent = "  "; }
    void endGroup() override {}
    void endFile(int groups, int sets, int failures, int exitCode) override
    {
        // split checks nothing: its summary is the count of parsed files.
        if (exitCode == 2 || m_split)
            return;
        m_out << groups << " group(s), " << sets << " transaction set(s), " << failures << " failure(s)\n";
        (exitCode == 0 ? m_passed : m_failed)++;
    }
    void parsedFiles(const std::vector<std::string> &files) override
    {
        m_split = true;
        for (const auto &f : files)
            m_out << printable(f) << "\n";
        m_out << files.size() << " parsed file(s)\n";
    }
    void finish(int) override
    {
        if (m_several)
            m_out << (m_passed + m_failed + m_errors) << " file(s): " << m_passed << " passed, " << m_failed
                  << " failed, " << m_errors << " not checked\n";
        m_out.flush();
    }

private:
    std::ostream &m_out;
    std::ostream &m_err;
    std::string m_name;
    std::string m_indent = "  ";
    bool m_several = false;
    bool m_split = false;
    int m_passed = 0, m_failed = 0, m_errors = 0;
};

// {"command":...,"files":[{"file":...,"groups":[{...,"checks":[...],"sets":[
// {...,"checks":[...]}]}],"groupCount":..,"setCount":..,"failureCount":..,
// "exitCode":..}],"exitCode":..}
class Json : public Reporter {
public:
    Json(std::ostream &out, std::string_view command) : m_out(out)
    {
        m_out << "{\"command\":" << jsonString(command);
    }

    void beginFile(const std::string &name, bool) override
    {
        m_out << (m_files++ ? "," : ",\"files\":[") << "{\"file\":" << jsonString(name);
        m_groups = 0;
        m_error.clear();
        m_inFile = true;
    }
    // Outside a file (no working directory, say) the error is the document's.
    void fileError(const std::string &message) override { (m_inFile ? m_error : m_topError) = message; }
    void beginGroup(const GroupInfo &g) override
    {
        m_out << (m_groups++ ? "," : ",\"groups\":[") << "{\"group\":" << g.number;
        if (!g.parsedFile.empty())
            m_out << ",\"parsedFile\":" << jsonString(g.parsedFile);
        m_out << ",\"functionalId\":" << jsonString(g.functionalId) << ",\"control\":" << jsonString(g.control)
              << ",\"version\":" << jsonString(g.version) << ",\"setCount\":" << g.sets;
        m_checks = 0;
        m_sets = 0;
    }
    void beginSet(int number, std::string_view id, std::string_view control) override
    {
        closeChecks();
        m_out << (m_sets++ ? "," : ",\"sets\":[") << "{\"set\":" << number << ",\"id\":" << jsonString(id)
              << ",\"control\":" << jsonString(control);
    }
    void check(std::string_view name, const CheckResult &result) override
    {
        m_out << (m_checks++ ? "," : ",\"checks\":[") << "{\"check\":" << jsonString(name)
              << ",\"passed\":" << (result.passed() ? "true" : "false") << ",\"message\":" << jsonString(result.text)
              << "}";
    }
    void endSet() override
    {
        closeChecks();
        m_out << "}";
    }
    void endGroup() override
    {
        closeChecks();
        if (m_sets)
            m_out << "]";
        else
            m_out << ",\"sets\":[]";
        m_out << "}";
    }
    void endFile(int groups, int sets, int failures, int exitCode) override
    {
        if (!m_inFile)
            return;
        m_inFile = false;
        if (m_groups)
            m_out << "]";
        if (!m_error.empty())
            m_out << ",\"error\":" << jsonString(m_error);
        if (exitCode != 2 && !m_split)
            m_out << ",\"groupCount\":" << groups << ",\"setCount\":" << sets << ",\"failureCount\":" << failures;
        m_out << ",\"exitCode\":" << exitCode << "}";
    }
    void parsedFiles(const std::vector<std::string> &files) override
    {
        m_split = true;
        m_out << ",\"parsedFiles\":[";
        for (std::size_t i = 0; i < files.size(); ++i)
            m_out << (i ? "," : "") << jsonString(files[i]);
        m_out << "]";
    }
    void finish(int exitCode) override
    {
        if (m_files)
            m_out << "]";
        if (!m_topError.empty())
            m_out << ",\"error\":" << jsonString(m_topError);
        m_out << ",\"exitCode\":" << exitCode << "}\n";
        m_out.flush();
    }

private:
    void closeChecks()
    {
        if (m_checks)
            m_out << "]";
        m_checks = 0;
    }

    std::ostream &m_out;
    std::string m_error;
    std::string m_topError;
    bool m_inFile = false;
    int m_files = 0, m_groups = 0, m_sets = 0, m_checks = 0;
    bool m_split = false;
};

} // namespace

std::string printable(std::string_view text)
{
    const auto plain = [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c >= 0x20 && c != 0x7f && c != '\\';
    };
    if (std::all_of(text.begin(), text.end(), plain))
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            appendHex(out, c);
        } else if (c == '\\') {
            out += "\\\\";
        } else {
            out += ch;
        }
    }
    return out;
}

std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            if (const std::size_t len = utf8SequenceLength(text, i)) {
                out.append(text.substr(i, len));
                i += len;
                continue;
            }
            out += "\\u00";
            appendHex(out, c);
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7f) {
            out += "\\u00";
            appendHex(out, c);
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    out += '"';
    return out;
}

std::unique_ptr<Reporter> humanReporter(std::ostream &out, std::ostream &err)
{
    return std::make_unique<Human>(out, err);
}

std::unique_ptr<Reporter> jsonReporter(std::ostream &out, std::string_view command)
{
    return std::make_unique<Json>(out, command);
}

} // namespace pelldrake::edi::tool
