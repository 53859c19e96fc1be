#pragma once
// The pelldrake-edi command line as options: read first, then checked against
// what the command takes, before any file named in it is opened.
#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace pelldrake::edi::tool {

// A command line the tool cannot run; reported with the usage text.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class Command { Split, Check, Ach, Ack, ToJson, FromJson };

// A --type rule text or a --rules file name, in the order given.
struct RuleSource {
    bool isFile = false;
    std::string text;
};

struct Options {
    std::string name;                 // the command as typed
    Command command = Command::Check; // set by checkCommand
    std::vector<std::string> files;
    std::string work;
    std::string copy;
    bool workGiven = false;
    bool copyGiven = false;
    bool json = false;
    std::vector<RuleSource> ruleSources;
    // ack, to-json, from-json
    std::string out;
    std::string state;
    std::string kind = "auto";      // 997, 999, auto
    std::string detail = "errors";  // group, sets, errors, full
    std::string ta1 = "auto";       // auto, always, never
    bool outGiven = false, stateGiven = false, kindGiven = false, detailGiven = false, ta1Given = false;
};

// The options of args (args[0] is the command). Throws UsageError for an
// unknown option or an option without its value.
Options parseArguments(const std::vector<std::string> &args);

// Sets options.command. Throws UsageError for an unknown command, the wrong
// number of files, or an option the command does not take.
void checkCommand(Options &options);

} // namespace pelldrake::edi::tool
