// A private folder for the files a fuzz run reads and writes, so that file
// names decoded from fuzz input can never reach anything outside it.
#ifndef MG_FUZZ_SCRATCH_DIR_H
#define MG_FUZZ_SCRATCH_DIR_H

#include <string>

namespace mg::fuzz {

class ScratchDir {
public:
    ScratchDir();  // a new, empty folder under the system's temporary folder
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return m_sPath; }
    std::string File(const std::string& name) const { return m_sPath + "/" + name; }

    // Empties the folder, so that no run sees what an earlier one left.
    void Clear() const;
    void Write(const std::string& name, const std::string& bytes) const;
    // The file's bytes; false when it cannot be read.
    bool Read(const std::string& name, std::string& bytes) const;
    bool Exists(const std::string& name) const;

private:
    std::string m_sPath;
};

}  // namespace mg::fuzz

#endif
