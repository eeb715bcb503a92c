// Known-answer tests of the seven digests.

#include <gtest/gtest.h>

#include <string>

#include "tests/digest/digest_test_support.h"

namespace mg::test {
namespace {

struct Vector {
    int type;
    const char* message;
    const char* hex;
};

const char kDigits80[] = "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
const char kAlnum[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
const char kTwoBlock256[] = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const char kTwoBlock512[] =
    "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu";

const Vector kPublished[] = {
    // RFC 1321, appendix A.5.
    {kMd5, "", "d41d8cd98f00b204e9800998ecf8427e"},
    {kMd5, "a", "0cc175b9c0f1b6a831c399e269772661"},
    {kMd5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
    {kMd5, "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {kMd5, "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {kMd5, kAlnum, "d174ab98d277d9f5a5611c2c9f419d9f"},
    {kMd5, kDigits80, "57edf4a22be3c955ac49da2e2107b67a"},
    // FIPS 180-2, appendices A to D (one-block, two-block examples); the empty
    // message digests as listed in the NIST example files.
    {kSha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {kSha1, kTwoBlock256, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {kSha1, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {kSha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {kSha256, kTwoBlock256, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {kSha256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {kSha384, "abc",
     "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
    {kSha384, kTwoBlock512,
     "09330c33f71147e83d192fc782cd1b4753111b173b3b05d22fa08086e3b0f712fcc7c71a557e2db966c3e9fa91746039"},
    {kSha384, "",
     "38b060a751ac96384cd9327eb1b1e36a21fdb71114be07434c0cc7bf63f6e1da274edebfe76f65fbd51ad2f14898b95b"},
    {kSha512, "abc",
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
     "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
    {kSha512, kTwoBlock512,
     "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018"
     "501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909"},
    {kSha512, "",
     "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce"
     "47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e"},
    // The test messages published with RIPEMD-160 (Dobbertin, Bosselaers,
    // Preneel), for RIPEMD-128 and RIPEMD-160.
    {kRipemd128, "", "cdf26213a150dc3ecb610f18f6b38b46"},
    {kRipemd128, "a", "86be7afa339d0fc7cfc785e72f578d33"},
    {kRipemd128, "abc", "c14a12199c66e4ba84636b0f69144c77"},
    {kRipemd128, "message digest", "9e327b3d6e523062afc1132d7df9d1b8"},
    {kRipemd128, "abcdefghijklmnopqrstuvwxyz", "fd2aa607f71dc8f510714922b371834e"},
    {kRipemd128, kTwoBlock256, "a1aa0689d0fafa2ddc22e88b49133a06"},
    {kRipemd128, kAlnum, "d1e959eb179c911faea4624c60c5c702"},
    {kRipemd128, kDigits80, "3f45ef194732c2dbb2c4a2c769795fa3"},
    {kRipemd160, "", "9c1185a5c5e9fc54612808977ee8f548b2258d31"},
    {kRipemd160, "a", "0bdc9d2d256b3ee9daae347be6f4dc835a467ffe"},
    {kRipemd160, "abc", "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc"},
    {kRipemd160, "message digest", "5d0689ef49d2fae572b881b123a85ffa21595f36"},
    {kRipemd160, "abcdefghijklmnopqrstuvwxyz", "f71c27109c692c1b56bbdceb5b9d2865b3708dbc"},
    {kRipemd160, kTwoBlock256, "12a053384a9c0c88e405a06c27dcf49ada62eb2b"},
    {kRipemd160, kAlnum, "b0e20b6e3116640286ed3a87a5713079b21f5189"},
    {kRipemd160, kDigits80, "9b752e45573d4b39f4dbd3323cab82bf63326bfb"},
};

TEST(DigestKnownAnswers, PublishedVectors) {
    for (const Vector& v : kPublished)
        EXPECT_EQ(DigestHex(v.type, v.message), v.hex) << HashName(v.type) << " of \"" << v.message << "\"";
}

// One million 'a': FIPS 180-2 and the RIPEMD-160 publication. Fed in pieces
// of 1000 bytes, as the publications' own test drivers do.
TEST(DigestKnownAnswers, MillionALong) {
    const Vector expected[] = {
        {kSha1, "", "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {kSha256, "", "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {kSha384, "",
         "9d0e1809716474cb086e834e310a4a1ced149e9c00f248527972cec5704c2a5b07b8b3dc38ecc4ebae97ddd87f3d8985"},
        {kSha512, "",
         "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973eb"
         "de0ff244877ea60a4cb0432ce577c31beb009c5c2c49aa2e4eadb217ad8cc09b"},
        {kRipemd128, "", "4a7f5723f954eba1216c9d8f6320431f"},
        {kRipemd160, "", "52783243c1697bdbe16d37f97f68f08325dc1528"},
        // Not in RFC 1321; computed with Python's hashlib.
        {kMd5, "", "7707d6ae4e027c70eea2a935c2296f21"},
    };
    const std::string piece(1000, 'a');
    for (const Vector& v : expected) {
        auto d = MakeDigest(v.type);
        for (int i = 0; i < 1000; ++i) d->AddData(U(piece), 1000);
        EXPECT_EQ(FinalHex(*d), v.hex) << HashName(v.type);
    }
}

}  // namespace
}  // namespace mg::test
