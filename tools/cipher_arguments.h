#ifndef MG_TOOLS_CIPHER_ARGUMENTS_H
#define MG_TOOLS_CIPHER_ARGUMENTS_H

#include <vector>

#include "hostsim/value.h"
#include "tools/command_line.h"

namespace mg::tool {

// The cipher arguments shared by ENCRYPT, DECRYPT, ENCRYPTFILE and
// DECRYPTFILE: nType, nMode, nPadding, nKeySize, nBlockSize and cIV.
class CipherArguments {
public:
    static std::vector<OptionInfo> Options();
    // The values to pass after the key, as far as the command line asks for
    // them. An earlier argument that was not asked for is passed with the
    // value the library would have used in its absence, so that leaving an
    // option out always means the library's default.
    static std::vector<hostsim::Value> From(const CommandLine& line);
    static const char* Help();
};

}  // namespace mg::tool

#endif
