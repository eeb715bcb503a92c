// ChaCha20, Poly1305 and their AEAD against RFC 8439, and the streaming
// interfaces against one-shot use.
#include <cstring>
#include <string>

#include "cipher/chacha20.h"
#include "cipher/chacha20_kernels.h"
#include "cipher/chacha20_poly1305.h"
#include "cipher/poly1305.h"
#include "cipher_test_util.h"

namespace mg::test {
namespace {

const std::string kSunscreen =
    "Ladies and Gentlemen of the class of '99: If I could offer you only one tip for the future, sunscreen would be it.";

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Range(int from, int count) {
    Bytes b;
    for (int i = 0; i < count; ++i) b.push_back(static_cast<unsigned char>(from + i));
    return b;
}

TEST(ChaCha20, Rfc8439Section242) {
    const Bytes key = Range(0, 32);
    const Bytes nonce = Hex("000000000000004a00000000");
    Bytes data = Text(kSunscreen);
    CChaCha20(key.data(), nonce.data(), 1).Crypt(data.data(), data.data(), data.size());
    EXPECT_EQ(data, Hex("6e2e359a2568f98041ba0728dd0d6981e97e7aec1d4360c20a27afccfd9fae0bf91b65c5524733ab8f593dabcd62b357"
                        "1639d624e65152ab8f530c359f0861d807ca0dbf500d6a6156a38e088a22b65e52bc514d16ccf806818ce91ab7793736"
                        "5af90bbf74a35be6b40b8eedf2785e42874d"));
}

TEST(ChaCha20, Rfc8439BlockFunctionSection232) {
    const Bytes key = Range(0, 32);
    const Bytes nonce = Hex("000000090000004a00000000");
    unsigned char block[64];
    CChaCha20(key.data(), nonce.data(), 1).NextBlock(block);
    EXPECT_EQ(Bytes(block, block + 64),
              Hex("10f1e7e4d13b5915500fdd1fa32071c4c7d1f4c733c068030422aa9ac3d46c4e"
                  "d2826446079faa0914c2d705d98b02a2b5129cd1de164eb9cbd083e8a2503c4e"));
}

TEST(ChaCha20, PiecesGiveTheSameStreamAsOneCall) {
    const Bytes key = Range(7, 32);
    const Bytes nonce = Range(100, 12);
    Bytes plain;
    for (int i = 0; i < 1250; ++i) plain.push_back(static_cast<unsigned char>(i * 7 + i / 256));
    Bytes whole(plain.size());
    CChaCha20(key.data(), nonce.data(), 5).Crypt(plain.data(), whole.data(), plain.size());
    for (std::size_t step : {1u, 63u, 64u, 65u, 700u}) {
        CChaCha20 c(key.data(), nonce.data(), 5);
        Bytes parts(plain.size());
        for (std::size_t at = 0; at < plain.size(); at += step)
            c.Crypt(plain.data() + at, parts.data() + at, std::min(step, plain.size() - at));
        EXPECT_EQ(parts, whole) << "step " << step;
    }
}

TEST(ChaCha20, EveryVectorPathGivesThePortableKeystream) {
    // Counters near the 32-bit wrap, and batch sizes that leave every remainder.
    for (std::uint32_t counter : {0u, 1u, 0xfffffffau}) {
        std::uint32_t state[16];
        for (int i = 0; i < 16; ++i) state[i] = 0x9e3779b9u * static_cast<std::uint32_t>(i + 1);
        state[12] = counter;
        for (std::size_t blocks : {1u, 3u, 4u, 5u, 8u, 13u, 16u, 17u, 31u, 32u, 45u}) {
            Bytes stream(blocks * 64);
            CChaCha20::PortableBlocks(state, stream.data(), blocks);
            Bytes input(blocks * 64 + 1), expected(blocks * 64);
            for (std::size_t i = 0; i < input.size(); ++i) input[i] = static_cast<unsigned char>(i * 7);
            for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<unsigned char>(stream[i] ^ input[i + 1]);
            for (ChaCha20Tier tier : {ChaCha20Tier::kPortable, ChaCha20Tier::kSse2, ChaCha20Tier::kAvx2, ChaCha20Tier::kAvx512}) {
                // Odd addresses: no path may assume alignment.
                Bytes got(blocks * 64 + 3, 0x5a);
                ChaCha20XorLimited(state, nullptr, got.data() + 3, blocks, tier);
                EXPECT_EQ(Bytes(got.begin() + 3, got.end()), stream) << counter << " " << blocks;
                ChaCha20XorLimited(state, input.data() + 1, got.data() + 3, blocks, tier);
                EXPECT_EQ(Bytes(got.begin() + 3, got.end()), expected) << counter << " " << blocks;
                Bytes inPlace(input.begin() + 1, input.end());
                ChaCha20XorLimited(state, inPlace.data(), inPlace.data(), blocks, tier);
                EXPECT_EQ(inPlace, expected) << "in place " << counter << " " << blocks;
            }
        }
    }
}

TEST(Poly1305, Rfc8439Vectors) {
    struct Case {
        const char* key;
        std::string message;  // hex
        const char* tag;
    };
    const Case cases[] = {
        // Section 2.5.2.
        {"85d6be7857556d337f4452fe42d506a80103808afb0db2fd4abff6af4149f51b",
         "43727970746f6772617068696320466f72756d2052657365617263682047726f7570", "a8061dc1305136c6c22b8baf0c0127a9"},
        // Appendix A.3, vectors 5 to 9: the carries and the final reduction.
        {"0200000000000000000000000000000000000000000000000000000000000000", std::string(32, 'f'),
         "03000000000000000000000000000000"},
        {"02000000000000000000000000000000ffffffffffffffffffffffffffffffff", "02000000000000000000000000000000",
         "03000000000000000000000000000000"},
        {"0100000000000000000000000000000000000000000000000000000000000000",
         std::string(32, 'f') + "f0ffffffffffffffffffffffffffffff11000000000000000000000000000000",
         "05000000000000000000000000000000"},
        {"0100000000000000000000000000000000000000000000000000000000000000",
         std::string(32, 'f') + "fbfefefefefefefefefefefefefefefe01010101010101010101010101010101",
         "00000000000000000000000000000000"},
        {"0200000000000000000000000000000000000000000000000000000000000000", "fdffffffffffffffffffffffffffffff",
         "faffffffffffffffffffffffffffffff"},
    };
    for (const Case& c : cases) {
        const Bytes key = Hex(c.key);
        const Bytes message = Hex(c.message);
        for (std::size_t split : {std::size_t{0}, std::size_t{1}, std::size_t{17}}) {
            if (split > message.size()) continue;
            CPoly1305 mac(key.data());
            mac.Update(message.data(), split);
            mac.Update(message.data() + split, message.size() - split);
            unsigned char tag[16];
            mac.Final(tag);
            EXPECT_EQ(Bytes(tag, tag + 16), Hex(c.tag)) << c.key << " split " << split;
        }
    }
}

TEST(Poly1305, LongMessagesGiveTheTagOfBlockByBlockUpdates) {
    // Long runs take the vector path where there is one; 16-byte updates never do.
    for (std::size_t n : {256u, 1000u, 4096u, 65536u + 16u, 100001u}) {
        Bytes key(32, 0xff), message(n);
        for (std::size_t i = 0; i < n; ++i) message[i] = static_cast<unsigned char>(i % 3 == 0 ? 0xff : i * 13);
        key[3] = static_cast<unsigned char>(n);
        unsigned char whole[16], pieces[16];
        CPoly1305 a(key.data());
        a.Update(message.data(), n);
        a.Final(whole);
        CPoly1305 b(key.data());
        for (std::size_t at = 0; at < n; at += 16) b.Update(message.data() + at, std::min<std::size_t>(16, n - at));
        b.Final(pieces);
        EXPECT_EQ(Bytes(whole, whole + 16), Bytes(pieces, pieces + 16)) << n;
    }
}

// The vector paths keep limbs unreduced between blocks: all-ones keys and
// messages push every limb to its largest value. Any length up to 1100 and
// random longer ones, whole and split, against 16-byte updates (which never
// take a vector path).
TEST(Poly1305, EveryLengthMatchesBlockByBlockUpdates) {
    std::mt19937 rng(1305);
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 1100; ++n) lengths.push_back(n);
    for (int i = 0; i < 40; ++i) lengths.push_back(rng() % 70000);
    for (int kind = 0; kind < 2; ++kind) {
        Bytes key(32, 0xff), message(70000, 0xff);
        if (kind == 1) {
            for (auto& b : key) b = static_cast<unsigned char>(rng());
            for (auto& b : message) b = static_cast<unsigned char>(rng());
        }
        for (std::size_t n : lengths) {
            unsigned char whole[16], split[16], pieces[16];
            CPoly1305 a(key.data());
            a.Update(message.data(), n);
            a.Final(whole);
            // A second long update reuses what the first one set up.
            const std::size_t at = n / 3;
            CPoly1305 b(key.data());
            b.Update(message.data(), at);
            b.Update(message.data() + at, n - at);
            b.Final(split);
            CPoly1305 c(key.data());
            for (std::size_t i = 0; i < n; i += 16) c.Update(message.data() + i, std::min<std::size_t>(16, n - i));
            c.Final(pieces);
            ASSERT_EQ(Bytes(whole, whole + 16), Bytes(pieces, pieces + 16)) << "kind " << kind << " length " << n;
            ASSERT_EQ(Bytes(split, split + 16), Bytes(pieces, pieces + 16)) << "kind " << kind << " length " << n;
        }
    }
}

// Sealing, and opening in one pass, work slice by slice; the result must be
// the construction of RFC 8439 section 2.8 done in two passes from its parts,
// for lengths at and around the slice edges, in place or not.
TEST(ChaCha20Poly1305, SlicedSealingAndOpeningGiveTheTwoPassResult) {
    std::mt19937 rng(8439);
    Bytes key(32), nonce(12), aad(13), data(70000);
    for (auto* v : {&key, &nonce, &aad, &data})
        for (auto& b : *v) b = static_cast<unsigned char>(rng());
    const CChaCha20Poly1305 aead(key.data());
    std::vector<std::size_t> lengths = {16383, 16384, 16385, 32768 + 63, 65536, 65537, 70000};
    for (std::size_t n = 0; n <= 1100; n += 7) lengths.push_back(n);
    for (std::size_t n : lengths) {
        for (std::size_t aadLength : {std::size_t{0}, aad.size()}) {
            Bytes expected(n + 16);
            CChaCha20(key.data(), nonce.data(), 1).Crypt(data.data(), expected.data(), n);
            unsigned char block[64];
            CChaCha20(key.data(), nonce.data(), 0).NextBlock(block);
            CPoly1305 mac(block);
            const unsigned char zeros[16] = {};
            mac.Update(aad.data(), aadLength);
            mac.Update(zeros, (16 - aadLength % 16) % 16);
            mac.Update(expected.data(), n);
            mac.Update(zeros, (16 - n % 16) % 16);
            unsigned char lengthsBlock[16] = {};
            for (int i = 0; i < 8; ++i) {
                lengthsBlock[i] = static_cast<unsigned char>(static_cast<std::uint64_t>(aadLength) >> (8 * i));
                lengthsBlock[8 + i] = static_cast<unsigned char>(static_cast<std::uint64_t>(n) >> (8 * i));
            }
            mac.Update(lengthsBlock, 16);
            mac.Final(expected.data() + n);

            Bytes out(n + 16 + 1);
            aead.Seal(nonce.data(), aad.data(), aadLength, data.data(), n, out.data() + 1);  // odd address
            ASSERT_EQ(Bytes(out.begin() + 1, out.end()), expected) << n << " aad " << aadLength;
            Bytes inPlace(data.begin(), data.begin() + n);
            inPlace.resize(n + 16);
            aead.Seal(nonce.data(), aad.data(), aadLength, inPlace.data(), n, inPlace.data());
            ASSERT_EQ(inPlace, expected) << "in place " << n;
            Bytes opened(n);
            ASSERT_TRUE(aead.Open(nonce.data(), aad.data(), aadLength, expected.data(), n + 16, opened.data()));
            ASSERT_EQ(opened, Bytes(data.begin(), data.begin() + n));
            Bytes onePass(n + 1);
            ASSERT_TRUE(
                aead.OpenInOnePass(nonce.data(), aad.data(), aadLength, expected.data(), n + 16, onePass.data() + 1));
            ASSERT_EQ(Bytes(onePass.begin() + 1, onePass.end()), opened) << "one pass " << n;
            // A changed byte anywhere: refused, and the output holds nothing of the plaintext.
            Bytes forged = expected;
            forged[(n * 7919) % forged.size()] ^= 0x20;
            ASSERT_FALSE(
                aead.OpenInOnePass(nonce.data(), aad.data(), aadLength, forged.data(), n + 16, onePass.data() + 1));
            ASSERT_EQ(Bytes(onePass.begin() + 1, onePass.end()), Bytes(n, 0)) << "wiped " << n;
        }
    }
}

TEST(ChaCha20Poly1305, Rfc8439Section282SealsAndOpens) {
    const Bytes key = Range(0x80, 32);
    const Bytes nonce = Hex("070000004041424344454647");
    const Bytes aad = Hex("50515253c0c1c2c3c4c5c6c7");
    const Bytes plain = Text(kSunscreen);
    const Bytes expected =
        Hex("d31a8d34648e60db7b86afbc53ef7ec2a4aded51296e08fea9e2b5a736ee62d63dbea45e8ca9671282fafb69da92728b1a71de0a9e06"
            "0b2905d6a5b67ecd3b3692ddbd7f2d778b8c9803aee328091b58fab324e4fad675945585808b4831d7bc3ff4def08e4b7a9de576d265"
            "86cec64b6116"
            "1ae10b594f09e26a7e902ecbd0600691");
    const CChaCha20Poly1305 aead(key.data());
    Bytes sealed(plain.size() + 16);
    aead.Seal(nonce.data(), aad.data(), aad.size(), plain.data(), plain.size(), sealed.data());
    EXPECT_EQ(sealed, expected);

    Bytes opened(plain.size());
    ASSERT_TRUE(aead.Open(nonce.data(), aad.data(), aad.size(), sealed.data(), sealed.size(), opened.data()));
    EXPECT_EQ(opened, plain);
}

TEST(ChaCha20Poly1305, AnyChangedByteIsRefusedAndNothingIsWritten) {
    const Bytes key = Range(1, 32);
    const Bytes nonce = Range(50, 12);
    const Bytes aad = Text("header");
    const Bytes plain = Range(0, 200);
    const CChaCha20Poly1305 aead(key.data());
    Bytes sealed(plain.size() + 16);
    aead.Seal(nonce.data(), aad.data(), aad.size(), plain.data(), plain.size(), sealed.data());
    for (std::size_t at = 0; at < sealed.size(); at += 7) {
        Bytes bad = sealed;
        bad[at] ^= 0x01;
        Bytes out(plain.size(), 0xAA);
        EXPECT_FALSE(aead.Open(nonce.data(), aad.data(), aad.size(), bad.data(), bad.size(), out.data())) << at;
        EXPECT_EQ(out, Bytes(plain.size(), 0xAA)) << "plaintext released for a forged message";
    }
    Bytes otherNonce = nonce;
    otherNonce[11] ^= 1;
    Bytes out(plain.size());
    EXPECT_FALSE(aead.Open(otherNonce.data(), aad.data(), aad.size(), sealed.data(), sealed.size(), out.data()));
    EXPECT_FALSE(aead.Open(nonce.data(), aad.data(), aad.size() - 1, sealed.data(), sealed.size(), out.data()));
    EXPECT_FALSE(aead.Open(nonce.data(), nullptr, 0, sealed.data(), 15, out.data())) << "shorter than a tag";
    // An empty message still carries a tag that must match.
    Bytes empty(16);
    aead.Seal(nonce.data(), nullptr, 0, nullptr, 0, empty.data());
    EXPECT_TRUE(aead.Open(nonce.data(), nullptr, 0, empty.data(), 16, out.data()));
}

}  // namespace
}  // namespace mg::test
