// X25519 against RFC 7748: the scalar-multiplication vectors, the iterated
// test and the Diffie-Hellman example.
#include "cipher/x25519.h"
#include "cipher_test_util.h"

namespace mg::test {
namespace {

Bytes Scalar(const Bytes& k, const Bytes& u) {
    Bytes out(32);
    CX25519::SharedSecret(k.data(), u.data(), out.data());
    return out;
}

TEST(X25519, Rfc7748Section52Vectors) {
    EXPECT_EQ(Scalar(Hex("a546e36bf0527c9d3b16154b82465edd62144c0ac1fc5a18506a2244ba449ac4"),
                     Hex("e6db6867583030db3594c1a424b15f7c726624ec26b3353b10a903a6d0ab1c4c")),
              Hex("c3da55379de9c6908e94ea4df28d084f32eccf03491c71f754b4075577a28552"));
    // The top bit of this u is set and must be ignored.
    EXPECT_EQ(Scalar(Hex("4b66e9d4d1b4673c5ad22691957d6af5c11b6421e0ea01d42ca4169e7918ba0d"),
                     Hex("e5210f12786811d3f4b7959d0538ae2c31dbe7106fc03c3efc4cd549c715a493")),
              Hex("95cbde9476e8907d7aade45cb4b873f88b595a68799fa152e6f8f7647aac7957"));
}

TEST(X25519, Rfc7748Section52IteratedTo1000Long) {
    Bytes k = Hex("0900000000000000000000000000000000000000000000000000000000000000");
    Bytes u = k;
    for (int i = 1; i <= 1000; ++i) {
        Bytes next = Scalar(k, u);
        u = k;
        k = next;
        if (i == 1) {
            EXPECT_EQ(k, Hex("422c8e7a6227d7bca1350b3e2bb7279f7897b87bb6854b783c60e80311ae3079"));
        }
    }
    EXPECT_EQ(k, Hex("684cf59ba83309552800ef566f2f4d3c1c3887c49360e3875f2eb94d99532c51"));
}

TEST(X25519, Rfc7748Section61DiffieHellman) {
    const Bytes alice = Hex("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a");
    const Bytes bob = Hex("5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb");
    Bytes alicePublic(32), bobPublic(32);
    CX25519::PublicKey(alice.data(), alicePublic.data());
    CX25519::PublicKey(bob.data(), bobPublic.data());
    EXPECT_EQ(alicePublic, Hex("8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a"));
    EXPECT_EQ(bobPublic, Hex("de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f"));
    const Bytes shared = Hex("4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742");
    EXPECT_EQ(Scalar(alice, bobPublic), shared);
    EXPECT_EQ(Scalar(bob, alicePublic), shared);
}

TEST(X25519, NonCanonicalAndSmallOrderPoints) {
    const Bytes k = Hex("a546e36bf0527c9d3b16154b82465edd62144c0ac1fc5a18506a2244ba449ac4");
    // p + 9 is the base point written the long way.
    const Bytes base = Hex("0900000000000000000000000000000000000000000000000000000000000000");
    const Bytes pPlus9 = Hex("f6ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f");
    EXPECT_EQ(Scalar(k, pPlus9), Scalar(k, base));
    Bytes out(32);
    for (const char* small : {"0000000000000000000000000000000000000000000000000000000000000000",
                              "0100000000000000000000000000000000000000000000000000000000000000",
                              "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f"}) {
        EXPECT_FALSE(CX25519::SharedSecret(k.data(), Hex(small).data(), out.data())) << small;
        EXPECT_EQ(out, Bytes(32, 0));
    }
}

}  // namespace
}  // namespace mg::test
