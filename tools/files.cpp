#include "tools/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "tools/terminal.h"
#include "tools/tool_error.h"

namespace mg::tool {

std::string Files::Read(const std::string& path) {
    if (path == "-") {
        Terminal::SetBinary(stdin);
        std::string bytes;
        char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) bytes.append(buffer, n);
        if (std::ferror(stdin)) throw ToolError("marrowgate: cannot read standard input");
        return bytes;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw ToolError("marrowgate: cannot read " + path + ": it is a folder");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ToolError("marrowgate: cannot open " + path);
    std::string bytes;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (in.bad()) throw ToolError("marrowgate: cannot read " + path);
    return bytes;
}

void Files::Write(const std::string& path, const std::string& bytes) {
    if (path == "-") {
        Terminal::SetBinary(stdout);
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() || std::fflush(stdout) != 0) {
            throw ToolError("marrowgate: cannot write standard output");
        }
        return;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw ToolError("marrowgate: cannot create " + path);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw ToolError("marrowgate: cannot write " + path);
}

std::string Files::ReadProblem(const std::string& path) {
    errno = 0;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return errno != 0 ? std::strerror(errno) : "cannot open";
    char buffer[65536];
    while (std::fread(buffer, 1, sizeof buffer, file.get()) == sizeof buffer) {
    }
    if (std::ferror(file.get())) return errno != 0 ? std::strerror(errno) : "read error";
    return {};
}

std::int64_t Files::Size(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? -1 : static_cast<std::int64_t>(size);
}

}  // namespace mg::tool
