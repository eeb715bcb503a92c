// SEALFILE, UNSEALFILE, GENERATEIDENTITY and RECIPIENT as the host calls them:
// round trips, key forms, and the errors, after which no output exists and
// an existing output is left as it was.
#include <filesystem>
#include <random>

#include "age/age_file.h"
#include "host_fixture.h"

namespace mg::testing {
namespace {

// The example key pair of age-encryption.org/v1.
const std::string kExampleIdentity = "AGE-SECRET-KEY-1GFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPQ4EGAEX";
const std::string kExampleRecipient = "age1zvkyg2lqzraa2lnjvqej32nkuu0ues2s82hzrye869xeexvn73equnujwj";

void TestRandom(unsigned char* out, std::size_t n) {
    static std::mt19937 generator(12345);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(generator());
}

class SealFile : public HostTest {
protected:
    TempDir dir;

    std::string Name(const std::string& file) const { return dir.File(file); }
    void Write(const std::string& file, const std::string& bytes) const { WriteFile(Name(file), bytes); }
    std::string Read(const std::string& file) const { return ReadFile(Name(file)); }
    bool Exists(const std::string& file) const { return std::filesystem::exists(Name(file)); }
    std::size_t FilesInDir() const {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(std::filesystem::path(Name("x")).parent_path())) ++n;
        return n;
    }

    void Seal(const std::string& in, const std::string& out, const std::string& key, bool recipients) {
        const CallResult r = host.Call("SEALFILE", {C(Name(in)), C(Name(out)), C(key), L(recipients)});
        ASSERT_TRUE(r.ok()) << r.message;
        EXPECT_EQ(r.value.kind, Value::Kind::None);
    }
    void Unseal(const std::string& in, const std::string& out, const std::string& key) {
        const CallResult r = host.Call("UNSEALFILE", {C(Name(in)), C(Name(out)), C(key)});
        ASSERT_TRUE(r.ok()) << r.message;
    }
    std::string UnsealError(const std::string& in, const std::string& out, const std::string& key) {
        return Error("UNSEALFILE", {C(Name(in)), C(Name(out)), C(key)});
    }
    std::string Identity() { return Returned("GENERATEIDENTITY", {}).bytes; }
    std::string RecipientOf(const std::string& identity) { return Returned("RECIPIENT", {C(identity)}).bytes; }
};

TEST_F(SealFile, IdentitiesAndRecipients) {
    EXPECT_EQ(RecipientOf(kExampleIdentity), kExampleRecipient);
    EXPECT_EQ(RecipientOf("  " + kExampleIdentity + "\r\n"), kExampleRecipient) << "surrounding blanks";
    const std::string a = Identity(), b = Identity();
    EXPECT_NE(a, b);
    EXPECT_EQ(a.size(), kExampleIdentity.size());
    EXPECT_EQ(a.rfind("AGE-SECRET-KEY-1", 0), 0u);
    EXPECT_EQ(RecipientOf(a).rfind("age1", 0), 0u);
    for (const std::string& bad : {std::string(), kExampleRecipient, kExampleIdentity.substr(0, 70),
                                   kExampleIdentity.substr(0, 40) + "X" + kExampleIdentity.substr(41)}) {
        EXPECT_EQ(Error("RECIPIENT", {C(bad)}), "SealFile ERROR: Not a valid identity!") << bad;
    }
}

TEST_F(SealFile, RecipientRoundTripsAtChunkEdges) {
    const std::string id1 = Identity(), id2 = Identity(), id3 = Identity();
    // Spaces, commas and line breaks all separate recipients.
    const std::string recipients = RecipientOf(id1) + ", " + RecipientOf(id2) + "\r\n" + RecipientOf(id3) + "\n";
    for (std::size_t size : {0u, 1u, 65535u, 65536u, 65537u, 3u * 65536u + 7u}) {
        const std::string data = Pattern(size);
        Write("plain", data);
        Seal("plain", "sealed", recipients, true);
        const std::string sealed = Read("sealed");
        ASSERT_EQ(sealed.rfind("age-encryption.org/v1\n-> X25519 ", 0), 0u);
        const std::size_t chunks = size == 0 ? 1 : (size + 65535) / 65536;
        const std::size_t header = sealed.find("\n---") + 4 + 45;
        EXPECT_EQ(sealed.size(), header + 16 + size + 16 * chunks) << size;
        for (const std::string& id : {id1, id2, id3}) {
            Unseal("sealed", "opened", "# created by a test\n\n" + id + "\n");
            EXPECT_EQ(Read("opened"), data) << size;
        }
    }
    EXPECT_EQ(FilesInDir(), 3u) << "no temporary file stays behind";
}

TEST_F(SealFile, PassphraseFilesOpenWithTheirPassphrase) {
    // Sealed with a small work factor, so that the test is quick; SEALFILE's own
    // work factor 18 is tested in the long test below.
    const std::string data = Pattern(70000);
    Write("plain", data);
    age::CAgeFile::Seal(Name("plain"), Name("sealed"), "correct horse", false, TestRandom, 10);
    Unseal("sealed", "opened", "correct horse");
    EXPECT_EQ(Read("opened"), data);
    EXPECT_EQ(UnsealError("sealed", "other", "wrong horse"), "SealFile ERROR: No key opens File " + Name("sealed") + "!");
    EXPECT_FALSE(Exists("other"));

    // A work factor above 22 is refused before any memory is taken for it.
    std::string text = Read("sealed");
    text.replace(text.find(" 10\n"), 4, " 23\n");
    Write("greedy", text);
    EXPECT_EQ(UnsealError("greedy", "other", "correct horse"),
              "SealFile ERROR: File " + Name("greedy") + " asks for a work factor above 22!");
}

TEST_F(SealFile, PassphraseRoundTripAtWorkFactor18Long) {
    Write("plain", "a short secret");
    Seal("plain", "sealed", "p\xe4ssword", false);
    EXPECT_NE(Read("sealed").find("-> scrypt "), std::string::npos);
    EXPECT_NE(Read("sealed").find(" 18\n"), std::string::npos);
    Unseal("sealed", "opened", "p\xe4ssword");
    EXPECT_EQ(Read("opened"), "a short secret");
}

TEST_F(SealFile, ArmoredFilesOpen) {
    const std::string data = Pattern(1000);
    Write("plain", data);
    Seal("plain", "sealed", kExampleRecipient, true);
    // The armor of age-encryption.org/v1: padded base64 in 64 columns.
    const std::string binary = Read("sealed");
    std::string armored = "-----BEGIN AGE ENCRYPTED FILE-----\n";
    static const char* b64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string body;
    for (std::size_t i = 0; i < binary.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(binary[i]) << 16;
        if (i + 1 < binary.size()) v |= static_cast<unsigned char>(binary[i + 1]) << 8;
        if (i + 2 < binary.size()) v |= static_cast<unsigned char>(binary[i + 2]);
        body += b64[(v >> 18) & 63];
        body += b64[(v >> 12) & 63];
        body += i + 1 < binary.size() ? b64[(v >> 6) & 63] : '=';
        body += i + 2 < binary.size() ? b64[v & 63] : '=';
    }
    for (std::size_t i = 0; i < body.size(); i += 64) armored += body.substr(i, 64) + "\r\n";
    armored += "-----END AGE ENCRYPTED FILE-----\n";
    Write("armored", armored);
    Unseal("armored", "opened", kExampleIdentity);
    EXPECT_EQ(Read("opened"), data);
}

TEST_F(SealFile, KeyErrorsComeBeforeAnyFileIsTouched) {
    Write("plain", "data");
    Write("out", "keep me");
    EXPECT_EQ(Error("SEALFILE", {C(Name("plain")), C(Name("out")), C("")}), "SealFile ERROR: Passphrase must not be empty!");
    EXPECT_EQ(Error("SEALFILE", {C(Name("plain")), C(Name("out")), C(kExampleRecipient + " age1nope,x"), L(true)}),
              "SealFile ERROR: Not a valid recipient: age1nope!");
    EXPECT_EQ(Error("SEALFILE", {C(Name("plain")), C(Name("out")), C(kExampleIdentity), L(true)}),
              "SealFile ERROR: Not a valid recipient: " + kExampleIdentity + "!");
    EXPECT_EQ(Read("out"), "keep me");
    EXPECT_EQ(Error("SEALFILE", {C(Name("missing")), C(Name("out")), C(kExampleRecipient), L(true)}),
              "SealFile ERROR: Cannot open File " + Name("missing") + "!");
    EXPECT_EQ(Error("SEALFILE", {C(Name("plain")), C(Name("plain")), C(kExampleRecipient), L(true)}),
              "SealFile ERROR: The same File for Input and Output " + Name("plain") + "!");
    EXPECT_EQ(Error("SEALFILE", {C(Name("plain")), C(Name("nodir/out")), C(kExampleRecipient), L(true)}),
              "SealFile ERROR: Cannot open File " + Name("nodir/out") + "!");
    EXPECT_EQ(Read("plain"), "data");
    EXPECT_EQ(Read("out"), "keep me");
    EXPECT_EQ(FilesInDir(), 2u);
}

// Files are read and written many chunks at a time: sizes around those
// batches round-trip, and a payload cut or changed beyond the first batch, at
// a chunk edge where no read comes up short, is still refused.
TEST_F(SealFile, FilesOfManyChunksRoundTripAndAreCheckedToTheEnd) {
    constexpr std::size_t kChunk = 65536, kSealed = kChunk + 16, kBatch = 16 * kChunk;
    for (std::size_t size : {kBatch - 1, kBatch, kBatch + 1, 2 * kBatch + 5}) {
        const std::string data = Pattern(size);
        Write("plain", data);
        Seal("plain", "sealed", kExampleRecipient, true);
        Unseal("sealed", "opened", kExampleIdentity);
        EXPECT_EQ(Read("opened"), data) << size;
    }
    const std::string sealed = Read("sealed");
    const std::size_t payload = sealed.find("\n---") + 4 + 45 + 16;
    const std::string damaged = "SealFile ERROR: File " + Name("bad") + " is damaged or truncated!";
    for (std::size_t chunks : {16u, 17u, 32u}) {
        Write("bad", sealed.substr(0, payload + chunks * kSealed));
        EXPECT_EQ(UnsealError("bad", "opened2", kExampleIdentity), damaged) << chunks << " chunks";
    }
    std::string changed = sealed;
    changed[payload + 17 * kSealed + 3] ^= 1;
    Write("bad", changed);
    EXPECT_EQ(UnsealError("bad", "opened2", kExampleIdentity), damaged);
    EXPECT_FALSE(Exists("opened2"));
}

TEST_F(SealFile, DamagedFilesReleaseNothing) {
    const std::string data = Pattern(200000);
    Write("plain", data);
    Seal("plain", "sealed", kExampleRecipient, true);
    const std::string sealed = Read("sealed");
    const std::size_t payload = sealed.find("\n---") + 4 + 45;
    Write("out", "keep me");
    const std::string name = Name("bad");
    auto expectRefused = [&](const std::string& file, const std::string& message) {
        Write("bad", file);
        EXPECT_EQ(UnsealError("bad", "out", kExampleIdentity), message);
        EXPECT_EQ(Read("out"), "keep me");
        EXPECT_EQ(FilesInDir(), 4u) << "temporary file left behind";
    };
    const std::string damaged = "SealFile ERROR: File " + name + " is damaged or truncated!";
    const std::string notAge = "SealFile ERROR: File " + name + " is not a valid age file!";
    for (std::size_t at : {payload + 20, payload + 65536 + 40, sealed.size() - 1}) {
        std::string bad = sealed;
        bad[at] ^= 0x40;
        expectRefused(bad, damaged);
    }
    expectRefused(sealed.substr(0, sealed.size() - 1), damaged);
    expectRefused(sealed.substr(0, payload + 16 + 65536 + 16), damaged);  // the last chunk missing
    expectRefused(sealed + "x", damaged);
    expectRefused(sealed.substr(0, payload + 8), notAge);  // the nonce cut short
    std::string mac = sealed;
    mac[payload - 10] = mac[payload - 10] == 'A' ? 'B' : 'A';
    expectRefused(mac, notAge);
    expectRefused("plain text", notAge);
    expectRefused("", notAge);
    EXPECT_EQ(UnsealError("sealed", "out", Identity()), "SealFile ERROR: No key opens File " + Name("sealed") + "!");
    EXPECT_EQ(UnsealError("sealed", "out", "not an identity"), "SealFile ERROR: Not a valid identity!");
    EXPECT_EQ(UnsealError("sealed", "sealed", kExampleIdentity),
              "SealFile ERROR: The same File for Input and Output " + Name("sealed") + "!");
    EXPECT_EQ(UnsealError("missing", "out", kExampleIdentity), "SealFile ERROR: Cannot open File " + Name("missing") + "!");
    EXPECT_EQ(Read("out"), "keep me");
    // And the undamaged file replaces the existing output.
    Unseal("sealed", "out", kExampleIdentity);
    EXPECT_EQ(Read("out"), data);
}

}  // namespace
}  // namespace mg::testing
