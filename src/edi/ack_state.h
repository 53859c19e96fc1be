#pragma once
// The state of the acknowledgment writer in its folder: per partner, the next
// control numbers of the answers and the interchange control numbers received.
//
// The folder is held (WorkLock on "lock") for the whole run, so two runs never
// hand out the same number: a second run waits for the first up to a limit,
// then gives up with WorkLockedError. Numbers are reserved in blocks that are
// written (temporary file, synced, then renamed) before any number of the
// block is used, so a run killed halfway may skip numbers but never uses one
// twice; a run that ends writes back the numbers it did not use. Received
// numbers are appended one line each once answered; a line cut by a kill is
// ignored.
#include "edi/acknowledgment.h"
#include "edi/work_lock.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace pelldrake::edi {

class AckState : public AckNumbering {
public:
    // Creates the folder when missing. Throws WorkLockedError when another
    // run holds it longer than wait, FileError when it cannot be made.
    explicit AckState(const std::filesystem::path &folder,
                      std::chrono::milliseconds wait = std::chrono::seconds(30));
    // Gives back the reserved numbers not used.
    ~AckState() override;
    AckState(const AckState &) = delete;
    AckState &operator=(const AckState &) = delete;

    // Numbers reserved at once: one synced write per this many answers.
    static constexpr std::int64_t kReserveBlock = 1000;

    std::int64_t nextInterchange(const std::string &partner) override;
    std::int64_t nextGroup(const std::string &partner) override;
    bool receivedBefore(const std::string &partner, const std::string &isa13) override;
    void remember(const std::string &partner, const std::string &isa13) override;

    // The file name part for partner ("ZZ/SENDER" -> "ZZ-SENDER").
    static std::string fileName(const std::string &partner);
    // The default folder: pelldrake/ack-state in the user's data directory.
    static std::filesystem::path defaultFolder();

private:
    struct Counter {
        std::int64_t next = 1;
        std::int64_t stored = 1;   // what the file says: numbers below it may be used
    };
    struct Partner {
        Counter interchange, group;
        std::set<std::string> received;
        FilePtr receivedFile;   // opened for appending on the first new number
        bool loaded = false;
    };
    Partner &partner(const std::string &name);
    std::int64_t draw(const std::string &name, Partner &p, Counter &c);
    void save(const std::string &name, const Partner &p, bool used);

    std::filesystem::path m_folder;
    std::unique_ptr<WorkLock> m_lock;
    std::map<std::string, Partner> m_partners;
};

} // namespace pelldrake::edi
