#ifndef MG_TOOLS_RESULT_WRITER_H
#define MG_TOOLS_RESULT_WRITER_H

#include <string>
#include <vector>

#include "tools/command_line.h"

namespace mg::tool {

enum class Format { Raw, Hex, Base64 };

// Writes results where --out says, in the form --format says. Hex and base64
// results end with a line break; raw bytes are written exactly as they are,
// except that a terminal gets a final line break so the prompt stays clean.
class ResultWriter {
public:
    // `screenDefault` is the format for standard output; a file given with
    // --out gets raw bytes unless --format says otherwise.
    ResultWriter(const CommandLine& line, Format screenDefault);
    // Lines of text to `path` ("-" for standard output).
    explicit ResultWriter(const std::string& path);
    ~ResultWriter() = default;
    ResultWriter(const ResultWriter&) = delete;
    ResultWriter& operator=(const ResultWriter&) = delete;

    static std::vector<OptionInfo> Options(Format screenDefault);
    static Format ParseFormat(const std::string& text);

    void Write(std::string bytes);             // one result (raw: moved, not copied)
    void WriteLine(const std::string& bytes);  // one of many results, one per line
    void WriteText(const std::string& text);   // a line of text, as it is
    void Finish();                             // writes the file of --out

private:
    std::string Encode(const std::string& bytes) const;
    void Emit(const std::string& text);

    Format m_eFormat;
    std::string m_sPath;
    std::string m_sPending;
    bool m_bToTerminal = false;
};

}  // namespace mg::tool

#endif
