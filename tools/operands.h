#ifndef MG_TOOLS_OPERANDS_H
#define MG_TOOLS_OPERANDS_H

#include <optional>
#include <string>
#include <vector>

#include "tools/command_line.h"

namespace mg::tool {

// Where the bytes of a character argument come from.
class Operands {
public:
    // The data argument: TEXT given as the first positional, --hex, --base64,
    // or --in FILE ("-" for standard input, decoded by --in-format); standard
    // input when none is given.
    static std::string Data(const CommandLine& line);
    static std::vector<OptionInfo> DataOptions();

    // A byte argument NAME given as --NAME TEXT, --NAME-hex HEX or --NAME-file FILE.
    static std::optional<std::string> Bytes(const CommandLine& line, const std::string& name);
    static std::vector<OptionInfo> BytesOptions(const std::string& name, char shortName, const std::string& what);
};

}  // namespace mg::tool

#endif
