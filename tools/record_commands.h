#ifndef MG_TOOLS_RECORD_COMMANDS_H
#define MG_TOOLS_RECORD_COMMANDS_H

#include <vector>

#include "tools/command.h"

namespace mg::tool {

// GETRECSTR, HASHRECORD and CRCRECORD over the records of a table file that
// the substitute host opens, one record or all of them.
class RecordCommands {
public:
    static std::vector<Command> All();
};

}  // namespace mg::tool

#endif
