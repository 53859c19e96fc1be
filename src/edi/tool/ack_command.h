#pragma once
// The commands ack, to-json and from-json of pelldrake-edi.
#include "edi/tool/command_line.h"
#include "edi/type_rules.h"

#include <ostream>
#include <string>
#include <vector>

namespace pelldrake::edi::tool {

// Writes one acknowledgment interchange per interchange read into
// options.out. files: the inputs with directories expanded, named as given.
int runAck(const Options &options, const std::vector<std::string> &files, const std::vector<TypeRule> &rules,
           std::ostream &out, std::ostream &err);

// X12 -> JSON and back, to options.out (written whole, then renamed into
// place) or to out.
int runToJson(const Options &options, std::ostream &out, std::ostream &err);
int runFromJson(const Options &options, std::ostream &out, std::ostream &err);

} // namespace pelldrake::edi::tool
