#pragma once
// Runs pelldrake-edi in this process and keeps what it printed.
#include "edi/tool/edi_tool.h"

#include <sstream>
#include <string>
#include <vector>

namespace checktest {

struct ToolResult {
    int code;
    std::string out, err;
};

inline ToolResult runTool(std::vector<std::string> args)
{
    std::ostringstream out, err;
    const int code = pelldrake::edi::tool::run(args, out, err);
    return {code, out.str(), err.str()};
}

} // namespace checktest
