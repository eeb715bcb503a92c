#ifndef MG_TOOLS_CALL_COMMAND_H
#define MG_TOOLS_CALL_COMMAND_H

#include "tools/command.h"

namespace mg::tool {

// "call EXPR": an expression in the host's own syntax, shown as the host shows it.
class CallCommand {
public:
    static Command Make();
};

}  // namespace mg::tool

#endif
