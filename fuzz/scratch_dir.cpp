#include "fuzz/scratch_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace mg::fuzz {

namespace fs = std::filesystem;

namespace {

// The fuzz targets keep their folder for the whole run and never destroy it:
// libFuzzer ends the process with exit(), so the folders go then.
std::vector<std::string>& Folders() {
    static std::vector<std::string>* folders = new std::vector<std::string>();
    return *folders;
}

void RemoveFolders() {
    std::error_code ignored;
    for (const std::string& folder : Folders()) fs::remove_all(folder, ignored);
}

}  // namespace

ScratchDir::ScratchDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/mg-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create " + pattern);
    m_sPath = pattern;
    if (Folders().empty()) std::atexit(RemoveFolders);
    Folders().push_back(m_sPath);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(m_sPath, ignored);
}

void ScratchDir::Clear() const {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(m_sPath, ignored)) fs::remove_all(entry.path(), ignored);
}

void ScratchDir::Write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(File(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool ScratchDir::Read(const std::string& name, std::string& bytes) const {
    std::ifstream in(File(name), std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool ScratchDir::Exists(const std::string& name) const {
    std::error_code ignored;
    return fs::exists(File(name), ignored);
}

}  // namespace mg::fuzz
