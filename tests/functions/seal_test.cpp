// SEAL and UNSEAL as the host calls them: the layout other libraries read,
// binary-safe values, and every way a sealed value can be refused.
#include "cipher/aes_gcm.h"
#include "host_fixture.h"

namespace mg::testing {
namespace {

using Seal = HostTest;

const std::string kKeys[] = {Pattern(16), Pattern(24), Pattern(32)};

TEST_F(Seal, LayoutIsNonceCiphertextTagAndRoundTripsAnyBytes) {
    const std::string data = std::string("\0with\0NULs\0", 11) + Pattern(300);
    for (const std::string& key : kKeys) {
        for (const std::string& context : {std::string(), std::string("orders\0#7", 9)}) {
            std::vector<Value> args = {C(data), C(key)};
            if (!context.empty()) args.push_back(C(context));
            const std::string sealed = Bytes("SEAL", args);
            ASSERT_EQ(sealed.size(), data.size() + 28);
            // The core opens it with the nonce in front and the tag behind.
            CAesGcm gcm;
            gcm.Initialize(reinterpret_cast<const unsigned char*>(key.data()), key.size());
            const auto* s = reinterpret_cast<const unsigned char*>(sealed.data());
            std::string plain(data.size(), '\0');
            ASSERT_TRUE(gcm.Open(s, reinterpret_cast<const unsigned char*>(context.data()), context.size(), s + 12,
                                 data.size(), s + 12 + data.size(), reinterpret_cast<unsigned char*>(plain.data())));
            EXPECT_EQ(plain, data);
            args[0] = C(sealed);
            EXPECT_EQ(Bytes("UNSEAL", args), data);
            EXPECT_NE(Bytes("SEAL", {C(data), C(key), C(context)}).substr(0, 12), sealed.substr(0, 12))
                << "a nonce came twice";
        }
    }
    // Empty data: nonce and tag only; an empty context is no context.
    const std::string empty = Bytes("SEAL", {C(""), C(kKeys[0])});
    ASSERT_EQ(empty.size(), 28u);
    EXPECT_EQ(Bytes("UNSEAL", {C(empty), C(kKeys[0]), C("")}), "");
}

TEST_F(Seal, KeyAndLengthErrors) {
    const std::string keyError = "Seal ERROR: Key must be 16, 24 or 32 bytes!";
    const std::string sealed = Bytes("SEAL", {C("x"), C(kKeys[2])});
    for (std::size_t n : {0, 1, 15, 17, 23, 25, 31, 33, 64}) {
        const std::string key = Pattern(n);
        EXPECT_EQ(Error("SEAL", {C("data"), C(key)}), keyError) << n;
        EXPECT_EQ(Error("UNSEAL", {C(sealed), C(key), C("ctx")}), keyError) << n;
    }
    for (std::size_t n : {0, 1, 27}) {
        EXPECT_EQ(Error("UNSEAL", {C(Pattern(n)), C(kKeys[0])}), "Seal ERROR: Sealed data is too short!") << n;
    }
}

TEST_F(Seal, EveryChangeWrongKeyOrContextIsRefused) {
    const std::string notAuthentic = "Seal ERROR: Sealed data is not authentic!";
    const std::string key = kKeys[1], context = "customers:42";
    const std::string sealed = Bytes("SEAL", {C("card 4111"), C(key), C(context)});
    for (std::size_t bit = 0; bit < 8 * sealed.size(); ++bit) {
        std::string changed = sealed;
        changed[bit / 8] = static_cast<char>(changed[bit / 8] ^ (1 << (bit % 8)));
        ASSERT_EQ(Error("UNSEAL", {C(changed), C(key), C(context)}), notAuthentic) << "bit " << bit;
    }
    EXPECT_EQ(Error("UNSEAL", {C(sealed.substr(0, sealed.size() - 1)), C(key), C(context)}), notAuthentic);
    EXPECT_EQ(Error("UNSEAL", {C(sealed + '\0'), C(key), C(context)}), notAuthentic);
    EXPECT_EQ(Error("UNSEAL", {C(sealed), C(key), C("customers:43")}), notAuthentic);
    EXPECT_EQ(Error("UNSEAL", {C(sealed), C(key)}), notAuthentic);
    std::string otherKey = key;
    otherKey[0] = static_cast<char>(otherKey[0] ^ 1);
    EXPECT_EQ(Error("UNSEAL", {C(sealed), C(otherKey), C(context)}), notAuthentic);
    EXPECT_EQ(Error("UNSEAL", {C(sealed), C(kKeys[2]), C(context)}), notAuthentic);
    EXPECT_EQ(Bytes("UNSEAL", {C(sealed), C(key), C(context)}), "card 4111");
}

}  // namespace
}  // namespace mg::testing
