#include "tools/operands.h"

#include <cstdio>

#include "tools/codec.h"
#include "tools/files.h"
#include "tools/terminal.h"
#include "tools/usage_error.h"

namespace mg::tool {
namespace {

// Raw text is handed on, not copied: it may be a large file read whole.
std::string Decode(std::string text, const std::string& format, const std::string& where) {
    if (format == "raw") return text;
    std::optional<std::string> bytes;
    if (format == "hex") {
        bytes = FromHex(text);
    } else if (format == "base64") {
        bytes = FromBase64(text);
    } else {
        throw UsageError("unknown input format '" + format + "'; use raw, hex or base64");
    }
    if (!bytes) throw UsageError(where + " is not valid " + format);
    return *bytes;
}

}  // namespace

std::vector<OptionInfo> Operands::DataOptions() {
    return {
        {"hex", 'x', "HEX", "the data as hexadecimal digits"},
        {"base64", 0, "B64", "the data in base64"},
        {"in", 'i', "FILE", "read the data from FILE ('-' for standard input)"},
        {"in-format", 0, "FMT", "how --in and standard input are written: raw, hex or base64 (default raw)"},
    };
}

std::string Operands::Data(const CommandLine& line) {
    line.ExpectAtMostOne({"hex", "base64", "in"});
    const bool positional = !line.Positionals().empty();
    if (positional && (line.Has("hex") || line.Has("base64") || line.Has("in"))) {
        throw UsageError("give the data either as TEXT or with --hex, --base64 or --in, not both");
    }
    if (line.Has("in-format") && (positional || line.Has("hex") || line.Has("base64"))) {
        throw UsageError("--in-format applies to --in and standard input only");
    }
    if (positional) return line.Positionals()[0];
    if (auto hex = line.Value("hex")) return Decode(*hex, "hex", "--hex");
    if (auto b64 = line.Value("base64")) return Decode(*b64, "base64", "--base64");
    // Waiting for typed input would look like a hang; "--in -" still reads a terminal.
    if (!line.Has("in") && Terminal::IsTerminal(stdin)) {
        throw UsageError("no data: give TEXT, --hex, --base64 or --in FILE, or pipe it in");
    }
    const std::string path = line.Value("in").value_or("-");
    const std::string where = path == "-" ? std::string("standard input") : path;
    return Decode(Files::Read(path), line.Value("in-format").value_or("raw"), where);
}

std::vector<OptionInfo> Operands::BytesOptions(const std::string& name, char shortName, const std::string& what) {
    return {
        {name, shortName, "TEXT", what + " as text"},
        {name + "-hex", 0, "HEX", what + " as hexadecimal digits"},
        {name + "-file", 0, "FILE", what + " read from FILE (all of its bytes)"},
    };
}

std::optional<std::string> Operands::Bytes(const CommandLine& line, const std::string& name) {
    line.ExpectAtMostOne({name, name + "-hex", name + "-file"});
    if (auto text = line.Value(name)) return *text;
    if (auto hex = line.Value(name + "-hex")) return Decode(*hex, "hex", "--" + name + "-hex");
    if (auto file = line.Value(name + "-file")) return Files::Read(*file);
    return std::nullopt;
}

}  // namespace mg::tool
