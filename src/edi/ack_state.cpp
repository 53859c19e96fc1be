#include "edi/ack_state.h"

#include "edi/interchange_splitter.h"
#include "edi/safe_file.h"

#include <cstdlib>
#include <fstream>
#include <thread>

namespace pelldrake::edi {

namespace fs = std::filesystem;

AckState::AckState(const fs::path &folder, std::chrono::milliseconds wait) : m_folder(folder)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec))
        throw FileError("cannot create the state folder \"" + folder.string() + "\"");
    const auto until = std::chrono::steady_clock::now() + wait;
    for (;;) {
        try {
            m_lock = std::make_unique<WorkLock>(folder / "lock");
            return;
        } catch (const WorkLockedError &) {
            if (std::chrono::steady_clock::now() >= until)
                throw WorkLockedError("the state folder \"" + folder.string() + "\" is in use by another run");
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
}

std::string AckState::fileName(const std::string &partner)
{
    std::string s = partner;
    for (char &c : s)
        if (c == '/' || c == ' ')
            c = c == '/' ? '-' : '_';
    s = partnerNamePart(s);
    return s.empty() || s == "-" ? "unknown" : s;
}

fs::path AckState::defaultFolder()
{
#ifdef _WIN32
    const char *base = std::getenv("APPDATA");
    fs::path dir = base && *base ? fs::path(base) : fs::temp_directory_path();
#else
    fs::path dir;
    if (const char *xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        dir = xdg;
    else if (const char *home = std::getenv("HOME"); home && *home)
        dir = fs::path(home) / ".local" / "share";
    else
        dir = fs::temp_directory_path();
#endif
    return dir / "pelldrake" / "ack-state";
}

AckState::Partner &AckState::partner(const std::string &name)
{
    Partner &p = m_partners[name];
    if (p.loaded)
        return p;
    p.loaded = true;
    const fs::path base = m_folder / fileName(name);
    // A killed run may have left a temporary counter file; we hold the folder.
    removeStaleTemporaries(fs::path(base).concat(".counters"));
    std::ifstream counters(fs::path(base).concat(".counters"));
    std::string key;
    std::int64_t value = 0;
    while (counters >> key >> value) {
        if (value < 1 || value > 1000000000)
            continue;
        if (key == "interchange")
            p.interchange.next = p.interchange.stored = value;
        else if (key == "group")
            p.group.next = p.group.stored = value;
    }
    std::ifstream received(fs::path(base).concat(".received"));
    std::string line;
    while (std::getline(received, line))
        if (line.size() == 10 && line.back() == ';')   // complete lines only
            p.received.insert(line.substr(0, 9));
    return p;
}

AckState::~AckState()
{
    for (const auto &[name, p] : m_partners) {
        try {
            save(name, p, true);
        } catch (const std::exception &) {
            // The reserved numbers stay skipped: never a number twice.
        }
    }
}

// used: write the next numbers to use; otherwise the end of the reservations.
void AckState::save(const std::string &name, const Partner &p, bool used)
{
    ReplacingFile file(m_folder / (fileName(name) + ".counters"));
    const Counter &i = p.interchange, &g = p.group;
    const std::string text = "interchange " + std::to_string(used ? i.next : i.stored) + "\ngroup " +
                             std::to_string(used ? g.next : g.stored) + "\n";
    if (!file.write(text))
        throw FileError("cannot write the state in \"" + m_folder.string() + "\"");
    file.commit();
}

// ISA13 and GS06 have nine digits; after 999999999 the numbers start again at 1.
std::int64_t AckState::draw(const std::string &name, Partner &p, Counter &c)
{
    constexpr std::int64_t kEnd = 1000000000;
    if (c.next >= kEnd)
        c.next = c.stored = 1;
    const std::int64_t n = c.next++;
    if (c.next > c.stored) {
        c.stored = std::min(n + kReserveBlock, kEnd);
        save(name, p, false);
    }
    return n;
}

std::int64_t AckState::nextInterchange(const std::string &name)
{
    Partner &p = partner(name);
    return draw(name, p, p.interchange);
}

std::int64_t AckState::nextGroup(const std::string &name)
{
    Partner &p = partner(name);
    return draw(name, p, p.group);
}

bool AckState::receivedBefore(const std::string &name, const std::string &isa13)
{
    return partner(name).received.count(isa13) > 0;
}

void AckState::remember(const std::string &name, const std::string &isa13)
{
    Partner &p = partner(name);
    if (isa13.size() != 9 || !p.received.insert(isa13).second)
        return;
    if (!p.receivedFile)
        p.receivedFile = openFile(m_folder / (fileName(name) + ".received"), "ab");
    const std::string line = isa13 + ";\n";
    if (!p.receivedFile || std::fwrite(line.data(), 1, line.size(), p.receivedFile.get()) != line.size() ||
        std::fflush(p.receivedFile.get()) != 0)
        throw FileError("cannot write the state in \"" + m_folder.string() + "\"");
}

} // namespace pelldrake::edi
