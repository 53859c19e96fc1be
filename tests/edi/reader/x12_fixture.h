// Builds X12 interchanges for the reader tests and runs the splitter in a
// temporary working directory.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace x12test {

namespace fs = std::filesystem;

inline std::string pad(std::string s, std::size_t n)
{
    s.resize(n, ' ');
    return s;
}

struct GroupPlan {
    std::string functionalId = "PO";
    std::string code = "850";
    int sets = 1;
    // Body segments of each set (between ST and SE); empty gives a default.
    std::vector<std::string> body;
};

struct InterchangePlan {
    std::string sender = "ACME";
    std::string receiver = "WIDGETCO";
    std::string control = "000000001";
    char subSep = '>';
    std::vector<GroupPlan> groups{GroupPlan{}};
};

// The ISA is always 105 characters before its terminator.
inline std::string isaSegment(const InterchangePlan &ic)
{
    return "ISA*00*" + pad("", 10) + "*00*" + pad("", 10) + "*ZZ*" + pad(ic.sender, 15) + "*ZZ*"
        + pad(ic.receiver, 15) + "*261207*0739*U*00401*" + ic.control + "*0*P*" + ic.subSep;
}

// Segments of the interchange without terminators.
inline std::vector<std::string> segments(const InterchangePlan &ic)
{
    std::vector<std::string> out{isaSegment(ic)};
    int setNo = 1;
    for (std::size_t g = 0; g < ic.groups.size(); ++g) {
        const auto &grp = ic.groups[g];
        const std::string gctl = std::to_string(g + 1);
        out.push_back("GS*" + grp.functionalId + "*SENDERGS*RECEIVERGS*20261207*0739*" + gctl + "*X*004010");
        for (int s = 0; s < grp.sets; ++s, ++setNo) {
            char ctl[16];
            std::snprintf(ctl, sizeof ctl, "%04d", setNo);
            out.push_back("ST*" + grp.code + "*" + ctl);
            std::vector<std::string> body = grp.body;
            if (body.empty())
                body = {"BEG*00*SA*PO-" + std::to_string(setNo) + "**20261207", "REF*DP*038", "N1*ST*ACME STORE 1  "};
            for (const auto &b : body)
                out.push_back(b);
            out.push_back("SE*" + std::to_string(body.size() + 2) + "*" + ctl);
        }
        out.push_back("GE*" + std::to_string(grp.sets) + "*" + gctl);
    }
    out.push_back("IEA*" + std::to_string(ic.groups.size()) + "*" + ic.control);
    return out;
}

enum class Style { Tilde, TildeCRLF, TildeLF, CRLFOnly, Wrap80CRLF, Wrap80LF };

inline std::string render(const std::vector<std::string> &segs, Style style)
{
    std::string out;
    for (const auto &s : segs) {
        out += s;
        switch (style) {
        case Style::Tilde:
        case Style::Wrap80CRLF:
        case Style::Wrap80LF:
            out += '~';
            break;
        case Style::TildeCRLF:
            out += "~\r\n";
            break;
        case Style::TildeLF:
            out += "~\n";
            break;
        case Style::CRLFOnly:
            out += "\r\n";
            break;
        }
    }
    if (style == Style::Wrap80CRLF || style == Style::Wrap80LF) {
        const std::string brk = style == Style::Wrap80CRLF ? "\r\n" : "\n";
        std::string wrapped;
        for (std::size_t i = 0; i < out.size(); i += 80)
            wrapped += out.substr(i, 80) + brk;
        out = wrapped;
    }
    return out;
}

inline std::string readFile(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeFile(const fs::path &p, const std::string &text)
{
    std::ofstream out(p, std::ios::binary);
    out << text;
}

inline std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < text.size()) {
        auto j = text.find("\r\n", i);
        if (j == std::string::npos) {
            out.push_back(text.substr(i));
            break;
        }
        out.push_back(text.substr(i, j - i));
        i = j + 2;
    }
    return out;
}

// A fresh directory that is made current for the lifetime of the object.
class WorkDir {
public:
    WorkDir()
    {
        std::random_device rd;
        old_ = fs::current_path();
        path_ = fs::temp_directory_path() / ("pelldrake-edi-" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(path_ / "in");
        fs::current_path(path_);
    }
    ~WorkDir()
    {
        std::error_code ec;
        fs::current_path(old_, ec);
        fs::remove_all(path_, ec);
    }
    const fs::path &path() const { return path_; }
    fs::path input() const { return path_ / "in"; }

    // Group files below the working directory in writing order (their names).
    std::vector<fs::path> groupFiles() const
    {
        std::vector<fs::path> out;
        for (const auto &e : fs::recursive_directory_iterator(path_))
            if (e.is_regular_file() && e.path().extension() == ".edi")
                out.push_back(e.path());
        std::sort(out.begin(), out.end(),
                  [](const fs::path &a, const fs::path &b) { return a.filename() < b.filename(); });
        return out;
    }

private:
    fs::path old_;
    fs::path path_;
};

} // namespace x12test
