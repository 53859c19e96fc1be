#pragma once
// The pelldrake-edi command line: split, check and ACH extraction.
//
//   pelldrake-edi split <interchange> [--work DIR] [--json]
//   pelldrake-edi check <file|directory>... [--work DIR] [--type SEG:NN:CODE]...
//                       [--rules FILE] [--json]
//   pelldrake-edi ach <ach-file> <edi-file> [--copy FILE]
//
// Exit codes: 0 all fine, 1 a check failed, 2 usage or input error; with
// several files the worst of them; 128 + the signal when a signal stopped it.
#include "edi/type_rules.h"

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace pelldrake::edi::tool {

enum ExitCode { Ok = 0, CheckFailed = 1, UsageOrInput = 2 };

// The data type rules (see edi/type_rules.h): element `element` of segments
// tagged `segment` must be valid for `typeCode` (empty values are not
// checked: they are optional).
using edi::TypeRule;
using edi::defaultTypeRules;

// One rule from "SEG:NN:CODE"; throws std::invalid_argument saying what is wrong.
TypeRule parseRule(const std::string &text);
// Rules from a rules file: one SEG:NN:CODE a line; blank lines and lines
// beginning with # are skipped. Errors name the file and line.
std::vector<TypeRule> readRules(std::istream &in, const std::string &name);

int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

// Asks a run in progress to stop at its next step (the next file, group or
// transaction set): it removes what it made in a temporary working directory
// and returns 128 + signal. Async-signal-safe: a signal handler calls it.
void requestStop(int signal) noexcept;
// The signal a stop was requested with, 0 when none.
int stopRequested() noexcept;
// Makes SIGINT, SIGTERM, SIGHUP and SIGPIPE request a stop. A second signal
// of the same kind ends the process at once (no SA_RESTART: a write blocked
// on a pipe returns, so the run notices).
void stopOnSignals();

} // namespace pelldrake::edi::tool
