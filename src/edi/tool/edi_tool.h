#pragma once
// The pelldrake-edi command line: split, check and ACH extraction.
//
//   pelldrake-edi split <interchange> [--work DIR]
//   pelldrake-edi check <interchange> [--work DIR] [--type SEG:NN:CODE]...
//   pelldrake-edi ach <ach-file> <edi-file> [--copy FILE]
//
// Exit codes: 0 all fine, 1 a check failed, 2 usage or input error.
#include <ostream>
#include <string>
#include <vector>

namespace pelldrake::edi::tool {

enum ExitCode { Ok = 0, CheckFailed = 1, UsageOrInput = 2 };

// One data type rule: element `element` of segments tagged `segment` must be
// valid for `typeCode` (empty values are not checked: they are optional).
struct TypeRule {
    std::string segment;
    int element = 0;
    std::string typeCode;
};

// The built-in rules: the envelope segments and a few common body segments.
const std::vector<TypeRule> &defaultTypeRules();

int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err);

} // namespace pelldrake::edi::tool
