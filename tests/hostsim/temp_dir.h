#ifndef MG_TESTS_HOSTSIM_TEMP_DIR_H
#define MG_TESTS_HOSTSIM_TEMP_DIR_H

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace mg::testing {

// A folder of its own for one test's files, removed with everything in it.
class TempDir {
public:
    TempDir() {
        // Test executables run side by side: the random part keeps their folders apart.
        static std::atomic<int> counter{0};
        static const unsigned process = std::random_device{}();
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        m_pPath = std::filesystem::temp_directory_path() / ("mg_tables_" + std::to_string(process) + "_" +
                                                            std::to_string(stamp) + "_" + std::to_string(counter++));
        std::filesystem::create_directories(m_pPath);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_pPath, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string File(const std::string& name) const { return (m_pPath / name).string(); }

private:
    std::filesystem::path m_pPath;
};

inline std::vector<unsigned char> Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void Spill(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline void Spill(const std::string& path, const std::vector<unsigned char>& bytes) {
    Spill(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace mg::testing

#endif
