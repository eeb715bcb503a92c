#ifndef MG_TOOLS_COMMAND_H
#define MG_TOOLS_COMMAND_H

#include <functional>
#include <string>
#include <vector>

#include "tools/command_line.h"

namespace mg::tool {

class Session;

// One subcommand: what its --help says and what it runs. `run` returns the
// exit status; failures leave it as exceptions (UsageError, ToolError).
struct Command {
    std::string name;
    std::string synopsis;  // after "marrowgate "
    std::string summary;   // one line for the overview
    std::string details;   // paragraphs for --help
    std::vector<OptionInfo> options;
    std::vector<std::string> examples;
    std::function<int(const CommandLine&, Session&)> run;
};

}  // namespace mg::tool

#endif
