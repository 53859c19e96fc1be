#include "edi/tool/edi_tool.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    std::ios::sync_with_stdio(false); // the report of a large interchange is long
    std::vector<std::string> args(argv + 1, argv + argc);
    return pelldrake::edi::tool::run(args, std::cout, std::cerr);
}
