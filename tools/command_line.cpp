#include "tools/command_line.h"

#include <algorithm>
#include <cctype>

#include "tools/usage_error.h"

namespace mg::tool {
namespace {

// Arguments that begin with a dash but cannot be an option, such as "-5" or
// the expression "-CRC('a')", are taken as they are.
bool LooksLikeOption(const std::string& arg) {
    if (arg.size() < 2 || arg[0] != '-' || std::isdigit(static_cast<unsigned char>(arg[1]))) return false;
    const std::size_t start = arg[1] == '-' ? 2 : 1;
    const std::size_t end = std::min(arg.find('='), arg.size());
    for (std::size_t i = start; i < end; ++i) {
        const char c = arg[i];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') return false;
    }
    return true;
}

const OptionInfo* FindLong(const std::vector<OptionInfo>& options, const std::string& name) {
    for (const OptionInfo& o : options) {
        if (name == o.longName) return &o;
    }
    return nullptr;
}

const OptionInfo* FindShort(const std::vector<OptionInfo>& options, char name) {
    for (const OptionInfo& o : options) {
        if (o.shortName != 0 && o.shortName == name) return &o;
    }
    return nullptr;
}

}  // namespace

CommandLine::CommandLine(const std::vector<std::string>& args, const std::vector<OptionInfo>& options) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || (arg != "--" && !LooksLikeOption(arg))) {
            m_positionals.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const OptionInfo* option = nullptr;
        std::optional<std::string> inlineValue;
        std::string shown = arg;
        if (arg[1] == '-') {
            std::string name = arg.substr(2);
            if (const auto eq = name.find('='); eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                name.resize(eq);
                shown = "--" + name;
            }
            option = FindLong(options, name);
        } else if (arg.size() == 2) {
            option = FindShort(options, arg[1]);
        }
        if (option == nullptr) throw UsageError("unknown option " + shown);
        std::string value;
        if (!option->valueName.empty()) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                throw UsageError("option " + shown + " needs a value (" + option->valueName + ")");
            }
        } else if (inlineValue) {
            throw UsageError("option " + shown + " takes no value");
        }
        m_values[option->longName].push_back(value);
    }
}

std::optional<std::string> CommandLine::Value(const std::string& name) const {
    const auto it = m_values.find(name);
    if (it == m_values.end() || it->second.empty()) return std::nullopt;
    return it->second.back();
}

std::vector<std::string> CommandLine::Values(const std::string& name) const {
    const auto it = m_values.find(name);
    return it == m_values.end() ? std::vector<std::string>{} : it->second;
}

void CommandLine::ExpectPositionals(std::size_t least, std::size_t most, const char* what) const {
    if (m_positionals.size() < least) throw UsageError(std::string("missing ") + what);
    if (m_positionals.size() > most) throw UsageError("unexpected argument '" + m_positionals[most] + "'");
}

void CommandLine::ExpectAtMostOne(const std::vector<std::string>& names) const {
    std::string first;
    for (const std::string& n : names) {
        if (!Has(n)) continue;
        if (!first.empty()) throw UsageError("--" + first + " and --" + n + " cannot be used together");
        first = n;
    }
}

}  // namespace mg::tool
