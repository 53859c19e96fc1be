#pragma once
// What `pelldrake-edi check` and `split` tell: the human-readable text (the
// default) or one JSON document, written as the run goes so that a large
// interchange never needs its whole report in memory.
#include "edi/check_result.h"

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace pelldrake::edi::tool {

// Text with control characters (and the backslash) escaped as \xNN (\\), so
// that an element can never move the cursor or ring the bell of a terminal.
std::string printable(std::string_view text);

// A JSON string literal (quotes included); bytes that are not UTF-8 are taken
// as Latin-1.
std::string jsonString(std::string_view text);

struct GroupInfo {
    int number = 0;               // from 1
    std::string parsedFile;       // empty when the parsed files are not kept
    std::string functionalId;     // GS01
    std::string control;          // GS06
    std::string version;          // GS08
    int sets = 0;
};

class Reporter {
public:
    virtual ~Reporter() = default;
    virtual void beginFile(const std::string &name, bool several) = 0;
    // The file could not be checked at all (exit code 2 for it).
    virtual void fileError(const std::string &message) = 0;
    virtual void beginGroup(const GroupInfo &group) = 0;
    virtual void beginSet(int number, std::string_view id, std::string_view control) = 0;
    // A check of the current set, or of the group when no set has begun.
    virtual void check(std::string_view name, const CheckResult &result) = 0;
    virtual void endSet() = 0;
    virtual void endGroup() = 0;
    virtual void endFile(int groups, int sets, int failures, int exitCode) = 0;
    virtual void parsedFiles(const std::vector<std::string> &files) = 0; // split
    virtual void finish(int exitCode) = 0;
};

// command: "check" or "split".
std::unique_ptr<Reporter> humanReporter(std::ostream &out, std::ostream &err);
std::unique_ptr<Reporter> jsonReporter(std::ostream &out, std::string_view command);

} // namespace pelldrake::edi::tool
