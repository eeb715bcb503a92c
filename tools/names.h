#ifndef MG_TOOLS_NAMES_H
#define MG_TOOLS_NAMES_H

#include <cstdint>
#include <string>
#include <vector>

namespace mg::tool {

struct NamedNumber {
    const char* name;
    std::int32_t number;
};

// The names the tool accepts for one kind of numeric argument. A number is
// always accepted too and passed on unchanged, so the library's own rules for
// out-of-range values stay visible.
class NameTable {
public:
    NameTable(const char* what, std::vector<NamedNumber> entries);

    // A name (letter case, '-' and '_' ignored) or a signed 32-bit number; throws UsageError.
    std::int32_t Parse(const std::string& text) const;
    // The first name of a number, or the number itself.
    std::string NameOf(std::int32_t number) const;
    // "sha1 (1), sha256 (2), ..." for help texts and hints.
    std::string List() const;

    static const NameTable& HashTypes();
    static const NameTable& CrcTypes();
    static const NameTable& Modes();
    static const NameTable& Paddings();

private:
    const char* m_szWhat;
    std::vector<NamedNumber> m_entries;
};

// A signed 32-bit decimal number; throws UsageError naming `what`.
std::int32_t ParseInt32(const std::string& text, const std::string& what);
// Lower case without '-' and '_', so "SHA-256" and "sha256" meet.
std::string Fold(const std::string& name);

}  // namespace mg::tool

#endif
