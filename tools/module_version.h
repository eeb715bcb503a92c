#ifndef MG_TOOLS_MODULE_VERSION_H
#define MG_TOOLS_MODULE_VERSION_H

#include <optional>
#include <string>
#include <string_view>

#include "marrowgate/version.h"

namespace mg::tool {

// The version a module file carries, read from the file without loading it:
// the version resource on Windows (as host programs read it), the marker the
// module keeps in a section of its own on Linux.
class ModuleVersion {
public:
    static constexpr std::string_view kMarker = MG_VERSION_MARKER;

    // Throws ToolError when the file cannot be read or carries no version.
    static std::string Read(const std::string& path);
    // The value after the marker, up to the terminating zero byte, when the
    // bytes hold one.
    static std::optional<std::string> FindMarker(std::string_view bytes);
};

}  // namespace mg::tool

#endif
