#ifndef MG_TOOLS_CODEC_H
#define MG_TOOLS_CODEC_H

#include <optional>
#include <string>

namespace mg::tool {

std::string ToHex(const std::string& bytes, bool upper = false);
// Accepts either case and ignores blanks and line breaks between digit pairs;
// nothing on odd digit counts or foreign characters.
std::optional<std::string> FromHex(const std::string& text);

std::string ToBase64(const std::string& bytes);
// Standard alphabet with padding; blanks and line breaks are skipped.
std::optional<std::string> FromBase64(const std::string& text);

}  // namespace mg::tool

#endif
