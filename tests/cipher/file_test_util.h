// Scratch files for the file-operation tests.
#ifndef MG_TESTS_CIPHER_FILE_TEST_UTIL_H
#define MG_TESTS_CIPHER_FILE_TEST_UTIL_H

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "cipher_test_util.h"

namespace mg::test {

// A fresh folder under the system's temporary folder, removed with everything
// in it at the end of the test. Names are unique across parallel test runs.
class TempDir {
public:
    TempDir() {
        std::random_device rd;
        for (;;) {
            m_path = std::filesystem::temp_directory_path() / ("mg_files_" + std::to_string(rd()) + std::to_string(rd()));
            if (std::filesystem::create_directory(m_path)) break;
        }
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string operator/(const std::string& name) const { return (m_path / name).string(); }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

inline void WriteFile(const std::string& name, const Bytes& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("test setup: cannot write " + name);
}

inline Bytes ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    if (!in) throw std::runtime_error("test setup: cannot read " + name);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& name) { return std::filesystem::exists(name); }

}  // namespace mg::test

#endif
