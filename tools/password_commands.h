#ifndef MG_TOOLS_PASSWORD_COMMANDS_H
#define MG_TOOLS_PASSWORD_COMMANDS_H

#include <vector>

#include "tools/command.h"

namespace mg::tool {

// The subcommands of the password functions: hashpassword, verifypassword,
// derivekey.
class PasswordCommands {
public:
    static std::vector<Command> All();
};

}  // namespace mg::tool

#endif
