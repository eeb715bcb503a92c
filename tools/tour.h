#ifndef MG_TOOLS_TOUR_H
#define MG_TOOLS_TOUR_H

#include <string>

#include "tools/command.h"

namespace mg::tool {

class Library;

// The demonstration: every function once on built-in sample data, results
// next to their published values, round trips in memory and through files,
// and a record hash from a table it writes, as a readable report.
class Tour {
public:
    static Command Make();

    explicit Tour(Library& library);
    int Run();  // 0 when every check held

private:
    void Heading(const std::string& title);
    void Check(const std::string& what, bool ok, const std::string& detail = "");
    void Note(const std::string& text);

    void Functions();
    void Digests();
    void Checksums();
    void Ciphers();
    void Sealing();
    void Files(const std::string& folder);
    void Records(const std::string& folder);
    void AgeFiles(const std::string& folder);
    void Keys();
    void Passwords();

    Library& m_rLibrary;
    int m_iSection = 0;
    int m_iChecks = 0;
    int m_iFailures = 0;
};

}  // namespace mg::tool

#endif
