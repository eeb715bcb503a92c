#ifndef MG_TOOLS_HELP_TEXT_H
#define MG_TOOLS_HELP_TEXT_H

#include <string>
#include <vector>

#include "tools/command.h"

namespace mg::tool {

class HelpText {
public:
    static std::string For(const Command& command);
    static std::string Overview(const std::vector<Command>& commands);
};

}  // namespace mg::tool

#endif
