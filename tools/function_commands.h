#ifndef MG_TOOLS_FUNCTION_COMMANDS_H
#define MG_TOOLS_FUNCTION_COMMANDS_H

#include <vector>

#include "tools/command.h"

namespace mg::tool {

// The subcommands of the functions on strings, files and keys.
class FunctionCommands {
public:
    static std::vector<Command> All();
};

}  // namespace mg::tool

#endif
