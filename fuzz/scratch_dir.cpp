#include "fuzz/scratch_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace mg::fuzz {

namespace fs = std::filesystem;

namespace {

const std::string& Folder() {
    static const std::string* folder = [] {
        auto* path = new std::string((fs::temp_directory_path() / "mg-fuzz-XXXXXX").string());
        if (mkdtemp(path->data()) == nullptr) throw std::runtime_error("cannot create " + *path);
        // libFuzzer ends the process with exit(), and no target lets go of its files before.
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(Folder(), ignored);
        });
        return path;
    }();
    return *folder;
}

}  // namespace

std::string ScratchFile(const std::string& name) { return Folder() + "/" + name; }

void ClearScratch() {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(Folder(), ignored)) fs::remove_all(entry.path(), ignored);
}

void WriteScratch(const std::string& name, const std::string& bytes) {
    std::ofstream out(ScratchFile(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool ReadScratch(const std::string& name, std::string& bytes) {
    std::ifstream in(ScratchFile(name), std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace mg::fuzz
