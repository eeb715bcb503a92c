#include "tools/module_version.h"

#include <fstream>
#include <vector>

#include "tools/tool_error.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace mg::tool {

std::optional<std::string> ModuleVersion::FindMarker(std::string_view bytes) {
    const std::size_t at = bytes.find(kMarker);
    if (at == std::string_view::npos) return std::nullopt;
    const std::size_t begin = at + kMarker.size();
    const std::size_t end = bytes.find('\0', begin);
    if (end == std::string_view::npos || end == begin || end - begin > 64) return std::nullopt;
    return std::string(bytes.substr(begin, end - begin));
}

#if defined(_WIN32)

std::string ModuleVersion::Read(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) throw ToolError("marrowgate: " + path + " has no version resource or cannot be read");
    std::vector<char> info(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(path.c_str(), 0, size, info.data()) ||
        !VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD) {
        throw ToolError("marrowgate: the version resource of " + path + " is unreadable");
    }
    std::string version = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                          std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                          std::to_string(HIWORD(fixed->dwFileVersionLS));
    if (LOWORD(fixed->dwFileVersionLS) != 0) version += "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
    return version;
}

#else

std::string ModuleVersion::Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ToolError("marrowgate: cannot open " + path);
    // Chunks that overlap by the longest marker and value, so that none is cut in two.
    constexpr std::size_t kChunk = 1 << 20;
    constexpr std::size_t kOverlap = 128;
    std::string window;
    std::vector<char> chunk(kChunk);
    while (in.read(chunk.data(), kChunk) || in.gcount() > 0) {
        window.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
        if (auto version = FindMarker(window)) return *version;
        if (window.size() > kOverlap) window.erase(0, window.size() - kOverlap);
    }
    if (in.bad()) throw ToolError("marrowgate: cannot read " + path);
    throw ToolError("marrowgate: " + path + " carries no version marker");
}

#endif

}  // namespace mg::tool
