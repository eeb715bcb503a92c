// A private folder for a fuzz run's files, so that decoded file names reach
// nothing outside it; made on first use, removed when the process exits.
#ifndef MG_FUZZ_SCRATCH_DIR_H
#define MG_FUZZ_SCRATCH_DIR_H

#include <string>

namespace mg::fuzz {

std::string ScratchFile(const std::string& name);
void ClearScratch();  // so that no run sees what an earlier one left
void WriteScratch(const std::string& name, const std::string& bytes);
bool ReadScratch(const std::string& name, std::string& bytes);

}  // namespace mg::fuzz

#endif
