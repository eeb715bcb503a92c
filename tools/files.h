#ifndef MG_TOOLS_FILES_H
#define MG_TOOLS_FILES_H

#include <cstdint>
#include <string>

namespace mg::tool {

// Whole-file reads and writes for the tool's own operands, "-" meaning the
// standard streams. The library opens the files of the file functions itself.
class Files {
public:
    static std::string Read(const std::string& path);  // throws ToolError
    static void Write(const std::string& path, const std::string& bytes);  // throws ToolError
    // Empty when every byte of the file can be read, else the reason it cannot.
    static std::string ReadProblem(const std::string& path);
    // -1 when the file is missing or not a regular file.
    static std::int64_t Size(const std::string& path);
};

}  // namespace mg::tool

#endif
