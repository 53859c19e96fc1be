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
        if (key == "interchange")
            p.nextInterchange = value;
        else if (key == "group")
            p.nextGroup = value;
    }
    std::ifstream received(fs::path(base).concat(".received"));
    std::string line;
    while (std::getline(received, line))
        if (line.size() == 10 && line.back() == ';')   // complete lines only
            p.received.insert(line.substr(0, 9));
    return p;
}

void AckState::save(const std::string &name, const Partner &p)
{
    ReplacingFile file(m_folder / (fileName(name) + ".counters"));
    const std::string text = "interchange " + std::to_string(p.nextInterchange) + "\ngroup " +
                             std::to_string(p.nextGroup) + "\n";
    if (!file.write(text))
        throw FileError("cannot write the state in \"" + m_folder.string() + "\"");
    file.commit();
}

std::int64_t AckState::nextInterchange(const std::string &name)
{
    Partner &p = partner(name);
    // ISA13 has nine digits; after 999999999 the numbers start again at 1.
    const std::int64_t n = p.nextInterchange;
    p.nextInterchange = n >= 999999999 ? 1 : n + 1;
    save(name, p);
    return n;
}

std::int64_t AckState::nextGroup(const std::string &name)
{
    Partner &p = partner(name);
    const std::int64_t n = p.nextGroup;
    p.nextGroup = n >= 999999999 ? 1 : n + 1;
    save(name, p);
    return n;
}

bool AckState::receivedBefore(const std::string &name, const std::string &isa13)
{
    Partner &p = partner(name);
    if (isa13.size() != 9)
        return false;
    if (!p.received.insert(isa13).second)
        return true;
    std::ofstream out(m_folder / (fileName(name) + ".received"), std::ios::app | std::ios::binary);
    out << isa13 << ";\n";
    out.flush();
    if (!out)
        throw FileError("cannot write the state in \"" + m_folder.string() + "\"");
    return false;
}

} // namespace pelldrake::edi
