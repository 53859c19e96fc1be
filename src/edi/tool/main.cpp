#include "edi/tool/edi_tool.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

// Standard output that remembers why it failed: a report that did not reach
// its file (a full disk, /dev/full) must not end the run as a success, and
// the reason has to survive the system calls made after the failed write.
class OutputBuffer : public std::streambuf {
public:
    OutputBuffer() { setp(m_buf, m_buf + sizeof m_buf); }
    // errno of the first failed write, 0 when every write succeeded.
    int error() const { return m_error; }

protected:
    int_type overflow(int_type c) override
    {
        if (!flush())
            return traits_type::eof();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override { return flush() ? 0 : -1; }

private:
    bool flush()
    {
        const char *p = pbase();
        auto left = static_cast<std::size_t>(pptr() - pbase());
        while (left > 0 && !m_error) {
#ifdef _WIN32
            const auto n = ::_write(1, p, static_cast<unsigned>(left));
#else
            const auto n = ::write(1, p, left);
#endif
            if (n >= 0) {
                p += n;
                left -= static_cast<std::size_t>(n);
            } else if (errno != EINTR || pelldrake::edi::tool::stopRequested()) {
                m_error = errno;   // after a stop request the run ends anyway
            }
        }
        setp(m_buf, m_buf + sizeof m_buf);
        return !m_error;
    }

    char m_buf[1 << 16];
    int m_error = 0;
};

} // namespace

int main(int argc, char **argv)
{
    namespace tool = pelldrake::edi::tool;
    std::ios::sync_with_stdio(false);
    tool::stopOnSignals();
    OutputBuffer buffer;
    std::ostream out(&buffer);
    const std::vector<std::string> args(argv + 1, argv + argc);
    const int code = tool::run(args, out, std::cerr);
    if (code > 128)   // stopped by a signal: the report is cut short anyway
        return code;
    out.flush();
    if (buffer.error() || !out) {
        std::cerr << "pelldrake-edi: cannot write to standard output: "
                  << (buffer.error() ? std::strerror(buffer.error()) : "the stream failed") << "\n";
        return tool::UsageOrInput;
    }
    return code;
}
