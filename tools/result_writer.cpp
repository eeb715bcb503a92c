#include "tools/result_writer.h"

#include <cstdio>
#include <utility>

#include "tools/codec.h"
#include "tools/files.h"
#include "tools/terminal.h"
#include "tools/usage_error.h"

namespace mg::tool {
namespace {

const char* FormatName(Format f) {
    switch (f) {
        case Format::Raw: return "raw";
        case Format::Hex: return "hex";
        case Format::Base64: return "base64";
    }
    return "raw";
}

}  // namespace

Format ResultWriter::ParseFormat(const std::string& text) {
    if (text == "raw") return Format::Raw;
    if (text == "hex") return Format::Hex;
    if (text == "base64") return Format::Base64;
    throw UsageError("unknown format '" + text + "'; use raw, hex or base64");
}

std::vector<OptionInfo> ResultWriter::Options(Format screenDefault) {
    return {
        {"out", 'o', "FILE", "write the result to FILE instead of standard output"},
        {"format", 'f', "FMT",
         std::string("raw, hex or base64 (default ") + FormatName(screenDefault) + " on standard output, raw with --out)"},
    };
}

ResultWriter::ResultWriter(const CommandLine& line, Format screenDefault) : m_sPath(line.Value("out").value_or("-")) {
    const auto format = line.Value("format");
    if (format) {
        m_eFormat = ParseFormat(*format);
    } else {
        m_eFormat = m_sPath == "-" ? screenDefault : Format::Raw;
    }
    m_bToTerminal = m_sPath == "-" && Terminal::IsTerminal(stdout);
}

ResultWriter::ResultWriter(const std::string& path) : m_eFormat(Format::Raw), m_sPath(path) {}

std::string ResultWriter::Encode(const std::string& bytes) const {
    switch (m_eFormat) {
        case Format::Hex: return ToHex(bytes) + "\n";
        case Format::Base64: return ToBase64(bytes) + "\n";
        case Format::Raw: break;
    }
    return bytes;
}

void ResultWriter::Emit(const std::string& text) {
    // Standard output is written as results come, so long listings stream;
    // a file is written whole at the end, and not at all after a failure.
    if (m_sPath == "-") {
        Files::Write("-", text);
    } else {
        m_sPending += text;
    }
}

void ResultWriter::Write(std::string bytes) {
    // A raw result, possibly a large value, goes out without another copy.
    std::string out = m_eFormat == Format::Raw ? std::move(bytes) : Encode(bytes);
    if (m_eFormat == Format::Raw && m_bToTerminal) out += '\n';
    if (m_sPath != "-" && m_sPending.empty()) {
        m_sPending = std::move(out);
        return;
    }
    Emit(out);
}

void ResultWriter::WriteLine(const std::string& bytes) {
    std::string out = Encode(bytes);
    if (m_eFormat == Format::Raw) out += '\n';
    Emit(out);
}

void ResultWriter::WriteText(const std::string& text) { Emit(text + "\n"); }

void ResultWriter::Finish() {
    if (m_sPath != "-") Files::Write(m_sPath, m_sPending);
    m_sPending.clear();
}

}  // namespace mg::tool
