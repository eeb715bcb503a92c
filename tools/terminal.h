#ifndef MG_TOOLS_TERMINAL_H
#define MG_TOOLS_TERMINAL_H

#include <cstdio>

namespace mg::tool {

// The few console facts the tool depends on, kept apart so the rest of the
// tool stays free of platform headers.
class Terminal {
public:
    static bool IsTerminal(std::FILE* stream);
    // Payload bytes must reach pipes and files unchanged on every platform.
    static void SetBinary(std::FILE* stream);
    // Columns of the terminal behind stderr, or a safe guess.
    static int Width();
};

}  // namespace mg::tool

#endif
