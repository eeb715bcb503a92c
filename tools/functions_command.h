#ifndef MG_TOOLS_FUNCTIONS_COMMAND_H
#define MG_TOOLS_FUNCTIONS_COMMAND_H

#include <string>

#include "tools/command.h"

namespace mg::tool {

// "functions": the function table the loaded library publishes, with each
// function's arguments and defaults as a host program sees them.
class FunctionsCommand {
public:
    static Command Make();
    // The arguments and defaults of an exposed function, empty when unknown.
    static std::string Signature(const std::string& name);
};

}  // namespace mg::tool

#endif
