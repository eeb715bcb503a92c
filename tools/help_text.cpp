#include "tools/help_text.h"

#include <algorithm>

namespace mg::tool {
namespace {

std::string OptionLabel(const OptionInfo& o) {
    std::string label = o.shortName != 0 ? std::string("-") + o.shortName + ", " : std::string("    ");
    label += "--" + o.longName;
    if (!o.valueName.empty()) label += " " + o.valueName;
    return label;
}

// Continuation lines of a long help text line up under its first line.
std::string Wrap(const std::string& text, std::size_t indent, std::size_t width) {
    std::string out;
    std::size_t column = indent;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (column > indent && column + 1 + word.size() > width) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
        } else if (column > indent) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        start = end + 1;
    }
    return out;
}

}  // namespace

std::string HelpText::For(const Command& command) {
    std::string out = "usage: marrowgate " + command.synopsis + "\n\n" + command.summary + "\n";
    if (!command.details.empty()) out += "\n" + command.details + "\n";
    std::vector<OptionInfo> options = command.options;
    options.push_back({"help", 'h', "", "show this help"});
    std::size_t labelWidth = 0;
    for (const OptionInfo& o : options) labelWidth = std::max(labelWidth, OptionLabel(o).size());
    out += "\nOptions:\n";
    for (const OptionInfo& o : options) {
        std::string label = OptionLabel(o);
        label.resize(labelWidth, ' ');
        out += "  " + label + "  " + Wrap(o.help, labelWidth + 4, 100) + "\n";
    }
    if (!command.examples.empty()) {
        out += "\nExamples:\n";
        for (const std::string& e : command.examples) out += "  " + e + "\n";
    }
    return out;
}

std::string HelpText::Overview(const std::vector<Command>& commands) {
    std::string out =
        "usage: marrowgate COMMAND [ARGUMENTS] [OPTIONS]\n\n"
        "Runs the functions of the marrowgate library from the command line. The tool loads the\n"
        "library module next to itself (marrowgate.so, or ../lib/marrowgate/marrowgate.so when\n"
        "installed; marrowgate.fll or marrowgate64.fll on Windows; or the file named by\n"
        "$MG_MODULE) and calls every function through DispatchAPI, exactly as the host\n"
        "application does.\n\nCommands:\n";
    std::size_t width = 0;
    for (const Command& c : commands) width = std::max(width, c.name.size());
    for (const Command& c : commands) {
        std::string name = c.name;
        name.resize(width, ' ');
        out += "  " + name + "  " + c.summary + "\n";
    }
    out +=
        "\n'marrowgate COMMAND --help' shows a command's options, their defaults and examples;\n"
        "'marrowgate --version' the version of the tool and of the module it loads.\n"
        "Exit status: 0 success, 1 the library or a file operation failed, 2 wrong usage.\n";
    return out;
}

}  // namespace mg::tool
