// A private folder for the files a fuzz run reads and writes, so that file
// names decoded from fuzz input can never reach anything outside it. It is
// made on first use and removed when the process exits.
#ifndef MG_FUZZ_SCRATCH_DIR_H
#define MG_FUZZ_SCRATCH_DIR_H

#include <string>

namespace mg::fuzz {

std::string ScratchFile(const std::string& name);
// Empties the folder, so that no run sees what an earlier one left.
void ClearScratch();
void WriteScratch(const std::string& name, const std::string& bytes);
// The file's bytes; false when it cannot be read.
bool ReadScratch(const std::string& name, std::string& bytes);

}  // namespace mg::fuzz

#endif
