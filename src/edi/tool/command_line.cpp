#include "edi/tool/command_line.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <tuple>

namespace pelldrake::edi::tool {

namespace {

// Which options each command takes, and how many files.
struct CommandShape {
    const char *name;
    Command command;
    std::size_t minFiles, maxFiles;
    const char *filesText;
    bool work, rules, copy, json; // rules: --type and --rules
    bool out = false, ack = false; // ack: --state, --kind, --detail, --ta1
};

constexpr CommandShape kCommands[] = {
    {"split", Command::Split, 1, 1, "one interchange file", true, false, false, true},
    {"check", Command::Check, 1, SIZE_MAX, "one or more interchange files or directories", true, true, false, true},
    {"ach", Command::Ach, 2, 2, "an ACH file and the EDI file to write", false, false, true, false},
    {"ack", Command::Ack, 1, SIZE_MAX, "one or more interchange files or directories", false, true, false, true, true,
     true},
    {"to-json", Command::ToJson, 1, 1, "one X12 file", false, false, false, false, true, false},
    {"from-json", Command::FromJson, 1, 1, "one JSON file", false, false, false, false, true, false},
};

// value must be one of choices; names the option otherwise.
void requireChoice(const char *option, const std::string &value, std::initializer_list<const char *> choices)
{
    std::string all;
    for (const char *c : choices) {
        if (value == c)
            return;
        all += all.empty() ? c : std::string(", ") + c;
    }
    throw UsageError(std::string(option) + " is one of " + all + ", not \"" + value + "\"");
}

bool anyRuleSource(const Options &options, bool isFile)
{
    return std::any_of(options.ruleSources.begin(), options.ruleSources.end(),
                       [&](const RuleSource &s) { return s.isFile == isFile; });
}

} // namespace

Options parseArguments(const std::vector<std::string> &args)
{
    Options o;
    if (!args.empty())
        o.name = args[0];
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string &a = args[i];
        auto value = [&]() -> const std::string & {
            if (i + 1 >= args.size())
                throw UsageError(a + " wants a value");
            return args[++i];
        };
        if (a == "--work") {
            o.work = value();
            o.workGiven = true;
        } else if (a == "--copy") {
            o.copy = value();
            o.copyGiven = true;
        } else if (a == "--type") {
            o.ruleSources.push_back({false, value()});
        } else if (a == "--rules") {
            o.ruleSources.push_back({true, value()});
        } else if (a == "--out") {
            o.out = value();
            o.outGiven = true;
        } else if (a == "--state") {
            o.state = value();
            o.stateGiven = true;
        } else if (a == "--kind") {
            o.kind = value();
            o.kindGiven = true;
            requireChoice("--kind", o.kind, {"997", "999", "auto"});
        } else if (a == "--detail") {
            o.detail = value();
            o.detailGiven = true;
            requireChoice("--detail", o.detail, {"group", "sets", "errors", "full"});
        } else if (a == "--ta1") {
            o.ta1 = value();
            o.ta1Given = true;
            requireChoice("--ta1", o.ta1, {"auto", "always", "never"});
        } else if (a == "--json") {
            o.json = true;
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError("unknown option " + a);
        } else {
            o.files.push_back(a);
        }
    }
    return o;
}

void checkCommand(Options &options)
{
    const auto shape = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const CommandShape &s) { return options.name == s.name; });
    if (shape == std::end(kCommands))
        throw UsageError("unknown command \"" + options.name + "\"");
    if (options.files.size() < shape->minFiles || options.files.size() > shape->maxFiles)
        throw UsageError(options.name + " wants " + shape->filesText);
    for (const auto &[given, taken, option] : {std::tuple{options.workGiven, shape->work, "--work"},
                                               std::tuple{anyRuleSource(options, false), shape->rules, "--type"},
                                               std::tuple{anyRuleSource(options, true), shape->rules, "--rules"},
                                               std::tuple{options.copyGiven, shape->copy, "--copy"},
                                               std::tuple{options.json, shape->json, "--json"},
                                               std::tuple{options.outGiven, shape->out, "--out"},
                                               std::tuple{options.stateGiven, shape->ack, "--state"},
                                               std::tuple{options.kindGiven, shape->ack, "--kind"},
                                               std::tuple{options.detailGiven, shape->ack, "--detail"},
                                               std::tuple{options.ta1Given, shape->ack, "--ta1"}})
        if (given && !taken)
            throw UsageError(std::string(option) + " is not an option of " + options.name);
    if (shape->command == Command::Ack && !options.outGiven)
        throw UsageError("ack wants --out DIR, the folder for the acknowledgments");
    options.command = shape->command;
}

} // namespace pelldrake::edi::tool
