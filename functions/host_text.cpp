#include "functions/host_text.h"

#include <stdexcept>
#include <vector>

#include "cpu/secure_wipe.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace mg::functions {

std::string PassphraseToUtf8(const std::string& hostText) {
#ifdef _WIN32
    if (hostText.empty()) return hostText;
    const int length = static_cast<int>(hostText.size());
    const int wide = MultiByteToWideChar(CP_ACP, 0, hostText.data(), length, nullptr, 0);
    if (wide <= 0) throw std::runtime_error("SealFile ERROR: Passphrase cannot be converted to UTF-8!");
    std::vector<wchar_t> utf16(static_cast<std::size_t>(wide));
    ScopedWipe wipeWide(utf16.data(), utf16.size() * sizeof(wchar_t));
    MultiByteToWideChar(CP_ACP, 0, hostText.data(), length, utf16.data(), wide);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) throw std::runtime_error("SealFile ERROR: Passphrase cannot be converted to UTF-8!");
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, utf8.data(), bytes, nullptr, nullptr);
    return utf8;
#else
    return hostText;
#endif
}

}  // namespace mg::functions
