#ifndef MG_TOOLS_USAGE_ERROR_H
#define MG_TOOLS_USAGE_ERROR_H

#include <stdexcept>
#include <string>

namespace mg::tool {

// A command line the tool cannot make sense of: reported with a hint, exit 2.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace mg::tool

#endif
