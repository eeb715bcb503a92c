#include <gtest/gtest.h>

#include "tools/cipher_arguments.h"
#include "tools/command_line.h"
#include "tools/names.h"
#include "tools/progress_meter.h"
#include "tools/usage_error.h"

namespace mg::tool {
namespace {

using hostsim::Value;

const std::vector<OptionInfo> kOptions = {
    {"type", 't', "TYPE", ""}, {"memo", 0, "", ""}, {"key", 'k', "TEXT", ""}};

TEST(CommandLine, OptionForms) {
    const CommandLine line({"data", "-t", "2", "--memo", "--key=a=b", "--", "--memo"}, kOptions);
    EXPECT_EQ(line.Value("type"), "2");
    EXPECT_TRUE(line.Has("memo"));
    EXPECT_EQ(line.Value("key"), "a=b");
    EXPECT_EQ(line.Positionals(), (std::vector<std::string>{"data", "--memo"}));
    // Short options take no bundling; the other mistakes are run end to end.
    EXPECT_THROW(CommandLine({"-tt"}, kOptions), UsageError);
    EXPECT_THROW(CommandLine({"-x"}, kOptions), UsageError);
}

TEST(CommandLine, ValuesMayLookLikeOptionsAndDashesArePositionals) {
    const CommandLine line({"-", "-5", "--type", "-1", "-k", "--memo"}, kOptions);
    EXPECT_EQ(line.Value("type"), "-1");
    EXPECT_EQ(line.Value("key"), "--memo");
    EXPECT_FALSE(line.Has("memo"));
    EXPECT_EQ(line.Positionals(), (std::vector<std::string>{"-", "-5"}));
    // What cannot be an option name is data, such as an expression.
    EXPECT_EQ(CommandLine({"-CRC('a')", "--x y"}, kOptions).Positionals(),
              (std::vector<std::string>{"-CRC('a')", "--x y"}));
}

TEST(Names, NamesNumbersAndFolding) {
    const NameTable& hashes = NameTable::HashTypes();
    EXPECT_EQ(hashes.Parse("ripemd_160"), 7);
    EXPECT_EQ(hashes.Parse("99"), 99);  // passed on: the library decides what it means
    EXPECT_THROW(hashes.Parse("2x"), UsageError);
    EXPECT_EQ(NameTable::Paddings().Parse("pkcs7"), NameTable::Paddings().Parse("count"));
    EXPECT_EQ(ParseInt32("-2147483648", "n"), INT32_MIN);
    EXPECT_THROW(ParseInt32("2147483648", "n"), UsageError);
    EXPECT_THROW(ParseInt32("", "n"), UsageError);
    EXPECT_THROW(ParseInt32(" 1", "n"), UsageError);
}

// The integers passed after the key, in the library's order: type, mode,
// padding, key size, block size; then the IV.
std::vector<std::int32_t> Passed(const std::vector<std::string>& args, std::string* iv = nullptr) {
    const CommandLine line(args, CipherArguments::Options());
    std::vector<std::int32_t> out;
    for (const Value& v : CipherArguments::From(line)) {
        if (v.kind == Value::Kind::Integer) out.push_back(v.integer);
        if (v.kind == Value::Kind::Bytes && iv != nullptr) *iv = v.bytes;
    }
    return out;
}

TEST(CipherArguments, PassedAsFarAsAskedWithTheLibrarysDefaultsBefore) {
    using V = std::vector<std::int32_t>;
    EXPECT_EQ(Passed({}), V{});
    EXPECT_EQ(Passed({"-t", "blowfish"}), (V{4}));
    EXPECT_EQ(Passed({"-m", "cbc"}), (V{2, 1}));
    EXPECT_EQ(Passed({"-p", "x923"}), (V{2, 0, 3}));
    // An absent key size follows the type, as the library's own rule does.
    EXPECT_EQ(Passed({"-t", "0", "--block-size", "16"}), (V{0, 0, 0, 16, 16}));
    EXPECT_EQ(Passed({"-t", "0", "--key-size", "0"}), (V{0, 0, 0, 0}));
    EXPECT_EQ(Passed({"-t", "AES-192"}), (V{1, 0, 0, 24, 16}));
    std::string iv;
    EXPECT_EQ(Passed({"--iv-hex", "0001"}, &iv), (V{2, 0, 0, 32, 32}));
    EXPECT_EQ(iv, std::string("\x00\x01", 2));
    EXPECT_THROW(Passed({"-t", "aes128", "--block-size", "32"}), UsageError);
    EXPECT_THROW(Passed({"--iv", "a", "--iv-hex", "00"}), UsageError);
}

TEST(ProgressMeter, BarFitsTheTerminal) {
    EXPECT_EQ(ProgressMeter::Bar("encrypting big.bin", 50 << 20, 100 << 20, 60),
              "encrypting big.bin [#########.........] 50%  50.0/100.0 MiB");
    // Output that outgrows the input (a header) stays at 100%.
    EXPECT_NE(ProgressMeter::Bar("x", 120, 100, 60).find("100%"), std::string::npos);
    // A long label gives way before the numbers do.
    EXPECT_EQ(ProgressMeter::Bar(std::string(80, 'n'), 1, 4, 40), "[#####...............] 25%  0.0/0.0 MiB");
}

}  // namespace
}  // namespace mg::tool
