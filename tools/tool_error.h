#ifndef MG_TOOLS_TOOL_ERROR_H
#define MG_TOOLS_TOOL_ERROR_H

#include <stdexcept>
#include <string>

namespace mg::tool {

// A failure while doing the work (the library's message, a file the tool
// cannot read): printed exactly as it is, exit 1.
class ToolError : public std::runtime_error {
public:
    explicit ToolError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace mg::tool

#endif
