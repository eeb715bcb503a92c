#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "hostsim/module.h"
#include "marrowgate/version.h"
#include "tools/module_version.h"
#include "tools/tool_error.h"

namespace mg::tool {
namespace {

using namespace std::string_literals;

TEST(ModuleVersion, MarkerIsTakenUpToItsZeroByteAndOnlyWhenWellFormed) {
    const std::string marker(ModuleVersion::kMarker);
    EXPECT_EQ(ModuleVersion::FindMarker("\x7f" "ELF junk\0"s + marker + "2.3.4\0more"s), "2.3.4");
    EXPECT_EQ(ModuleVersion::FindMarker(marker + "1.0.0"), std::nullopt);  // cut off before its end
    EXPECT_EQ(ModuleVersion::FindMarker(marker + "\0"s), std::nullopt);   // empty
    EXPECT_EQ(ModuleVersion::FindMarker(marker + std::string(65, '9') + "\0"s), std::nullopt);
    EXPECT_EQ(ModuleVersion::FindMarker("no marker here"), std::nullopt);
}

TEST(ModuleVersion, TheBuiltModuleCarriesTheProjectVersion) {
    EXPECT_EQ(ModuleVersion::Read(hostsim::Module::DefaultPath()), MG_VERSION_STRING);
}

#if !defined(_WIN32)
TEST(ModuleVersion, MarkerAcrossTheReadChunksIsFound) {
    // The file is read a mebibyte at a time: a marker on the boundary must not be missed.
    const std::string path = testing::TempDir() + "mg_version_marker.bin";
    const std::string marker(ModuleVersion::kMarker);
    {
        std::ofstream out(path, std::ios::binary);
        out << std::string((1 << 20) - 10, 'x') << marker << "9.8.7" << '\0' << std::string(100, 'y');
    }
    EXPECT_EQ(ModuleVersion::Read(path), "9.8.7");
    { std::ofstream out(path, std::ios::binary | std::ios::trunc); out << std::string(3 << 20, 'z'); }
    EXPECT_THROW(ModuleVersion::Read(path), ToolError);
    std::remove(path.c_str());
    EXPECT_THROW(ModuleVersion::Read(path), ToolError);
}
#endif

}  // namespace
}  // namespace mg::tool
