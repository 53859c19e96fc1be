#pragma once
// Small X12 texts for the acknowledgment and JSON tests: an ISA of the fixed
// layout with chosen separators, and files written to a scratch folder.
#include <cassert>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace acktest {

struct Envelope {
    char element = '*';
    char component = ':';
    char repetition = 'U';   // ISA11: U (4010) or a separator
    std::string version = "00401";
    std::string sender = "SENDER";
    std::string receiver = "RECEIVER";
    std::string control = "000000001";
    char ackRequested = '0';
    std::string date = "261207";
};

inline std::string padded(std::string s, std::size_t n)
{
    s.resize(n, ' ');
    return s;
}

// The ISA without its terminator (105 characters).
inline std::string isa(const Envelope &e)
{
    const char s = e.element;
    std::string t = "ISA";
    for (const std::string &part :
         {std::string("00"), padded("", 10), std::string("00"), padded("", 10), std::string("ZZ"), padded(e.sender, 15),
          std::string("ZZ"), padded(e.receiver, 15), e.date, std::string("0930"),
          std::string(1, e.repetition), e.version, e.control, std::string(1, e.ackRequested), std::string("P"),
          std::string(1, e.component)})
        t += s + part;
    assert(t.size() == 105);
    return t;
}

// A scratch folder removed at the end of the test.
class ScratchDir {
public:
    ScratchDir()
    {
        std::random_device rd;
        m_path = std::filesystem::temp_directory_path() / ("pelldrake-ack-test-" + std::to_string(rd()));
        std::filesystem::create_directories(m_path);
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path &path() const { return m_path; }
    std::string file(const std::string &name, const std::string &content) const
    {
        const auto p = m_path / name;
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }

private:
    std::filesystem::path m_path;
};

inline std::string readFile(const std::filesystem::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace acktest
