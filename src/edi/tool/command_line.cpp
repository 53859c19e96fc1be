#include "edi/tool/command_line.h"

#include <algorithm>
#include <cstdint>
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
};

constexpr CommandShape kCommands[] = {
    {"split", Command::Split, 1, 1, "one interchange file", true, false, false, true},
    {"check", Command::Check, 1, SIZE_MAX, "one or more interchange files or directories", true, true, false, true},
    {"ach", Command::Ach, 2, 2, "an ACH file and the EDI file to write", false, false, true, false},
};

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
                                               std::tuple{options.json, shape->json, "--json"}})
        if (given && !taken)
            throw UsageError(std::string(option) + " is not an option of " + options.name);
    options.command = shape->command;
}

} // namespace pelldrake::edi::tool
