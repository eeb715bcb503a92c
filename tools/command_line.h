#ifndef MG_TOOLS_COMMAND_LINE_H
#define MG_TOOLS_COMMAND_LINE_H

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace mg::tool {

// One named option of a subcommand; an empty value name makes it a flag.
struct OptionInfo {
    std::string longName;
    char shortName = 0;
    std::string valueName;
    std::string help;
};

// The arguments of one subcommand split into options and positionals.
// Accepted forms: --name VALUE, --name=VALUE, -n VALUE, flags, and "--" to end
// the options. A lone "-", negative numbers and anything else that cannot be
// an option name are positionals, so that "genkey -5" and
// "call -CRC('a')" mean what they say.
class CommandLine {
public:
    // Throws UsageError on an unknown option, a missing value or a value given to a flag.
    CommandLine(const std::vector<std::string>& args, const std::vector<OptionInfo>& options);

    bool Has(const std::string& name) const { return m_values.count(name) != 0; }
    // The last value given for the option.
    std::optional<std::string> Value(const std::string& name) const;
    std::vector<std::string> Values(const std::string& name) const;
    const std::vector<std::string>& Positionals() const { return m_positionals; }

    // Throws UsageError unless the count of positionals lies in [least, most].
    void ExpectPositionals(std::size_t least, std::size_t most, const char* what) const;
    // Throws UsageError when more than one of the options was given.
    void ExpectAtMostOne(const std::vector<std::string>& names) const;

private:
    std::map<std::string, std::vector<std::string>> m_values;
    std::vector<std::string> m_positionals;
};

}  // namespace mg::tool

#endif
