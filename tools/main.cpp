// marrowgate: the library's functions from the command line, called through
// DispatchAPI by the substitute host exactly as the real host calls them.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/call_command.h"
#include "tools/command.h"
#include "tools/function_commands.h"
#include "tools/functions_command.h"
#include "tools/help_text.h"
#include "tools/module_version.h"
#include "tools/password_commands.h"
#include "tools/record_commands.h"
#include "tools/session.h"
#include "tools/tool_error.h"
#include "tools/tour.h"
#include "tools/usage_error.h"
#include "hostsim/module.h"
#include "marrowgate/version.h"

namespace {

using namespace mg::tool;

constexpr int kFailure = 1;
constexpr int kUsage = 2;

std::vector<Command> AllCommands() {
    std::vector<Command> commands = FunctionCommands::All();
    for (Command& c : RecordCommands::All()) commands.push_back(std::move(c));
    for (Command& c : PasswordCommands::All()) commands.push_back(std::move(c));
    commands.push_back(CallCommand::Make());
    commands.push_back(FunctionsCommand::Make());
    commands.push_back(Tour::Make());
    return commands;
}

const Command* Find(const std::vector<Command>& commands, const std::string& name) {
    for (const Command& c : commands) {
        if (c.name == name) return &c;
    }
    return nullptr;
}

bool AsksForHelp(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--") return false;
        if (a == "-h" || a == "--help") return true;
    }
    return false;
}

int Usage(const std::string& where, const std::string& message, const std::string& hint) {
    std::fprintf(stderr, "%s: %s\nTry '%s'.\n", where.c_str(), message.c_str(), hint.c_str());
    return kUsage;
}

int Run(const std::vector<std::string>& args) {
    const std::vector<Command> commands = AllCommands();
    if (args.empty()) {
        std::fputs(HelpText::Overview(commands).c_str(), stderr);
        return kUsage;
    }
    const std::string& name = args[0];
    if (name == "-h" || name == "--help" || name == "help") {
        const Command* about = args.size() > 1 ? Find(commands, args[1]) : nullptr;
        if (args.size() > 1 && about == nullptr) {
            return Usage("marrowgate", "unknown command '" + args[1] + "'", "marrowgate --help");
        }
        std::fputs((about ? HelpText::For(*about) : HelpText::Overview(commands)).c_str(), stdout);
        return 0;
    }
    if (name == "--version" || name == "-V") {
        std::printf("marrowgate %s\n", MG_VERSION_STRING);
        std::fflush(stdout);
        // The module the tool would load, which may come from another release.
        const std::string module = mg::hostsim::Module::DefaultPath();
        std::printf("module %s (%s)\n", ModuleVersion::Read(module).c_str(), module.c_str());
        return 0;
    }
    const Command* command = Find(commands, name);
    if (command == nullptr) return Usage("marrowgate", "unknown command '" + name + "'", "marrowgate --help");

    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (AsksForHelp(rest)) {
        std::fputs(HelpText::For(*command).c_str(), stdout);
        return 0;
    }
    Session session;
    try {
        const CommandLine line(rest, command->options);
        return command->run(line, session);
    } catch (const UsageError& e) {
        return Usage("marrowgate " + name, e.what(), "marrowgate " + name + " --help");
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const ToolError& e) {
        // The library's message exactly as it came: callers match on it.
        std::fprintf(stderr, "%s\n", e.what());
        return kFailure;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "marrowgate: %s\n", e.what());
        return kFailure;
    }
}
