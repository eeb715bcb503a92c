#include "tools/tour.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "hostsim/dbf_writer.h"
#include "tools/codec.h"
#include "tools/files.h"
#include "tools/library.h"
#include "tools/session.h"
#include "tools/value_display.h"

namespace mg::tool {
namespace {

namespace fs = std::filesystem;

std::string Unhex(const char* hex) { return *FromHex(hex); }

std::string In(const std::string& folder, const char* name) { return (fs::path(folder) / name).string(); }

// Digests of "abc" from FIPS 180-2 (SHA), RFC 1321 (MD5) and the RIPEMD
// authors' published test set.
constexpr struct {
    int type;
    const char* name;
    const char* digest;
    const char* source;
} kAbcDigests[] = {
    {1, "SHA-1", "a9993e364706816aba3e25717850c26c9cd0d89d", "FIPS 180-2"},
    {2, "SHA-256", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", "FIPS 180-2"},
    {3, "SHA-384",
     "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7", "FIPS 180-2"},
    {4, "SHA-512",
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
     "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f",
     "FIPS 180-2"},
    {5, "MD5", "900150983cd24fb0d6963f7d28e17f72", "RFC 1321"},
    {6, "RIPEMD-128", "c14a12199c66e4ba84636b0f69144c77", "RIPEMD set"},
    {7, "RIPEMD-160", "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc", "RIPEMD set"},
};

// Test case 2 of RFC 2202 (MD5, SHA-1) and RFC 4231 (SHA-256, SHA-512).
constexpr struct {
    int type;
    const char* name;
    const char* mac;
    const char* source;
} kJefeMacs[] = {
    {5, "MD5", "750c783e6ab0b503eaa86e310a5db738", "RFC 2202"},
    {1, "SHA-1", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79", "RFC 2202"},
    {2, "SHA-256", "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843", "RFC 4231"},
    {4, "SHA-512",
     "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea250554"
     "9758bf75c05a994a6d034f65f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737",
     "RFC 4231"},
};

// Single blocks: FIPS-197 appendix C.1 and C.3 (AES), the published Blowfish
// ECB set, the published XTEA set (big-endian words); RC4 keystream from
// RFC 6229 (40-bit key 0102030405, offset 0).
constexpr struct {
    const char* name;
    const char* plain;
    const char* key;
    int type, keySize, blockSize;
    const char* cipher;
    const char* source;
} kBlocks[] = {
    {"AES-128", "00112233445566778899aabbccddeeff", "000102030405060708090a0b0c0d0e0f", 0, 16, 16,
     "69c4e0d86a7b0430d8cdb78070b4c55a", "FIPS-197 C.1"},
    {"AES-256", "00112233445566778899aabbccddeeff",
     "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", 2, 32, 16,
     "8ea2b7ca516745bfeafc49904b496089", "FIPS-197 C.3"},
    {"Blowfish", "0000000000000000", "0000000000000000", 4, 0, 0, "4ef997456198dd78", "Blowfish set"},
    {"XTEA", "4142434445464748", "000102030405060708090a0b0c0d0e0f", 8, 0, 0, "497df3d072612cb5", "XTEA set"},
    {"RC4", "00000000000000000000000000000000", "0102030405", 1024, 0, 0, "b2396305f03dc027ccc3524a0a1118a8",
     "RFC 6229"},
};

// Settings of the round trips: type, mode, padding, key size, block size.
constexpr struct {
    const char* name;
    int type, mode, padding, keySize, blockSize;
} kRoundTrips[] = {
    {"rijndael ecb zeros (all defaults)", 2, 0, 0, 32, 32},
    {"aes128 cbc count", 0, 1, 2, 16, 16},
    {"rijndael-192/192 ofb random-count", 1, 3, 4, 24, 24},
    {"blowfish cbc zeros-count", 4, 1, 3, 32, 32},
    {"tea cfb spaces", 8, 2, 1, 32, 32},
    {"rc4", 1024, 0, 0, 32, 32},
};

// A file that ENCRYPTFILE wrote with Blowfish, CBC, padding count and the key
// "portable". The format does not depend on platform or word size: every
// build must read these bytes back, and writes the same bytes itself.
constexpr char kForeignFile[] =
    "32ecde83af70ec1180677a91f10110a431c7eb14000000000000000000000000"
    "a33104e4e20c875f3311825f94347b918768b78c04ebf09bcb10e66279a7f373"
    "40301d1660b2e93d66a8172ef0da4e30";
constexpr char kForeignText[] = "Written by one build, read by every other.";

std::vector<Value> CipherArgs(const std::string& data, const std::string& key, int type, int mode, int padding,
                              int keySize, int blockSize) {
    return {Value::Of(data),     Value::Of(key),         Value::Int(type),      Value::Int(mode),
            Value::Int(padding), Value::Int(keySize), Value::Int(blockSize)};
}

std::string Quote(const std::string& text, std::size_t limit = 40) {
    if (!ValueDisplay::Printable(text)) {
        const std::string hex = "0h" + ToHex(text, true);
        return hex.size() > limit ? hex.substr(0, limit) + "..." : hex;
    }
    return "'" + (text.size() > limit ? text.substr(0, limit) + "..." : text) + "'";
}

class TempFolder {
public:
    TempFolder() {
        std::random_device random;
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        m_path = fs::temp_directory_path() / ("marrowgate-tour-" + std::to_string(stamp % 1000000) + "-" +
                                              std::to_string(random() % 100000));
        fs::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string File(const std::string& name) const { return (m_path / name).string(); }
    std::string Path() const { return m_path.string(); }

private:
    fs::path m_path;
};

int RunTour(const CommandLine& line, Session& session) {
    line.ExpectPositionals(0, 0, "");
    return Tour(session.Lib()).Run();
}

}  // namespace

Command Tour::Make() {
    return {"tour",
            "tour",
            "demonstrate every function on built-in samples and check the results",
            "Calls every exposed function once through DispatchAPI: digests and HMACs next to their\n"
            "published values, known ciphertexts, round trips in memory and through files in a temporary\n"
            "folder (removed afterwards), a record hash from a small table it writes, random keys, and\n"
            "password hashes and keys derived from passwords.\n"
            "Exits with 0 when every check holds, 1 otherwise.",
            {},
            {"marrowgate tour"},
            RunTour};
}

Tour::Tour(Library& library) : m_rLibrary(library) {}

void Tour::Heading(const std::string& title) { std::printf("\n%d. %s\n", ++m_iSection, title.c_str()); }

void Tour::Check(const std::string& what, bool ok, const std::string& detail) {
    ++m_iChecks;
    if (!ok) ++m_iFailures;
    std::printf("   %s %s%s%s\n", ok ? "[ok]    " : "[FAILED]", what.c_str(), detail.empty() ? "" : "\n            ",
                detail.c_str());
}

void Tour::Note(const std::string& text) { std::printf("   %s\n", text.c_str()); }

int Tour::Run() {
    std::printf("marrowgate tour\n===============\n");
    std::printf("Library module: %s\n", hostsim::Module::DefaultPath().c_str());
    std::printf("Every call below goes through DispatchAPI, made by the substitute host as the host\n"
                "application makes it. [ok] marks a result that equals its published value or round trip.\n");
    Functions();
    Digests();
    Checksums();
    Ciphers();
    Sealing();
    {
        TempFolder folder;
        Files(folder.Path());
        Records(folder.Path());
        AgeFiles(folder.Path());
    }
    Keys();
    Passwords();
    std::printf("\n");
    if (m_iFailures == 0) {
        std::printf("All %d checks passed.\n", m_iChecks);
        return 0;
    }
    std::printf("%d of %d checks FAILED.\n", m_iFailures, m_iChecks);
    return 1;
}

void Tour::Functions() {
    Heading("Functions the library publishes to the host");
    for (const auto& row : m_rLibrary.Host().Rows()) {
        std::printf("   %-14s %2d  %-25s\n", row.name.c_str(), row.parameterCount, ("\"" + row.typeString + "\"").c_str());
    }
    Note("The host ran ONLOAD (count -2) itself when it loaded the library.");
    Check("23 functions in the table", m_rLibrary.Host().Rows().size() == 23,
          std::to_string(m_rLibrary.Host().Rows().size()) + " found");
}

void Tour::Digests() {
    Heading("Digests of 'abc' next to their published values");
    for (const auto& d : kAbcDigests) {
        const std::string got = ToHex(m_rLibrary.Call("HASH", {Value::Of("abc"), Value::Int(d.type)}).bytes);
        char what[200];
        std::snprintf(what, sizeof what, "HASH('abc', %d)  %-10s %s", d.type, d.name, d.source);
        Check(what, got == d.digest, got);
    }
    const std::string text = "what do ya want for nothing?";
    for (const auto& m : kJefeMacs) {
        const std::string got =
            ToHex(m_rLibrary.Call("HMAC", {Value::Of(text), Value::Of("Jefe"), Value::Int(m.type)}).bytes);
        char what[200];
        std::snprintf(what, sizeof what, "HMAC('%s', 'Jefe', %d)  %-7s %s", text.c_str(), m.type, m.name, m.source);
        Check(what, got == m.mac, got);
    }
    const std::string whole = m_rLibrary.Call("HASH", {Value::Of("abc")}).bytes;
    Check("HASH('abc') without a type is SHA-512, 64 raw bytes", whole == Unhex(kAbcDigests[3].digest));
}

void Tour::Checksums() {
    Heading("Checksums (CRC-32 with initial value 0 and no final xor; CRC-16 XMODEM)");
    const Value crc32 = m_rLibrary.Call("CRC", {Value::Of("123456789")});
    const Value crc16 = m_rLibrary.Call("CRC", {Value::Of("123456789"), Value::Int(1)});
    Check("CRC('123456789')     = " + ValueDisplay::Show(crc32) + " (0x" + ValueDisplay::Checksum(crc32, "hex") + ")",
          crc32.kind == Value::Kind::Number && crc32.number == static_cast<double>(0x2DFD2D88u));
    Check("CRC('123456789', 1)  = " + ValueDisplay::Show(crc16) + " (0x" + ValueDisplay::Checksum(crc16, "hex") + ")",
          crc16.kind == Value::Kind::Integer && crc16.integer == 0x31C3);
    const Value abc = m_rLibrary.Call("CRC", {Value::Of("abc")});
    Check("CRC('abc')           = " + ValueDisplay::Show(abc) + ", a number of 2^31 or more comes back positive",
          abc.number == 3395655888.0);
}

void Tour::Ciphers() {
    Heading("Ciphers in memory: known ciphertexts");
    for (const auto& b : kBlocks) {
        std::vector<Value> args = {Value::Of(Unhex(b.plain)), Value::Of(Unhex(b.key)), Value::Int(b.type)};
        if (b.blockSize != 0) {
            for (int v : {0, 0, b.keySize, b.blockSize}) args.push_back(Value::Int(v));
        }
        const std::string got = ToHex(m_rLibrary.Call("ENCRYPT", args).bytes);
        std::string call = "ENCRYPT(0h" + std::string(b.plain).substr(0, 8) + "..., key, " + std::to_string(b.type);
        if (b.blockSize != 0) call += ", 0, 0, " + std::to_string(b.keySize) + ", " + std::to_string(b.blockSize);
        char what[200];
        std::snprintf(what, sizeof what, "%-9s %-46s %s", b.name, (call + ")").c_str(), b.source);
        Check(what, got == b.cipher, got);
    }

    Heading("Ciphers in memory: round trips of a 43-byte text");
    const std::string text = "The quick brown fox jumps over the lazy dog";
    const std::string key = "tour key";
    for (const auto& r : kRoundTrips) {
        const auto args = CipherArgs(text, key, r.type, r.mode, r.padding, r.keySize, r.blockSize);
        const std::string sealed = m_rLibrary.Call("ENCRYPT", args).bytes;
        auto back = args;
        back[0] = Value::Of(sealed);
        const std::string opened = m_rLibrary.Call("DECRYPT", back).bytes;
        const std::size_t padding = opened.size() - std::min(opened.size(), text.size());
        char what[200];
        std::snprintf(what, sizeof what, "%-35s %zu -> %zu bytes -> the text + %zu padding bytes", r.name, text.size(),
                      sealed.size(), padding);
        Check(what, opened.compare(0, text.size(), text) == 0 && sealed != text.substr(0, sealed.size()));
    }
    Note("DECRYPT returns the padding bytes with the text: they are not removed.");
}

void Tour::Sealing() {
    Heading("Authenticated encryption: SEAL and UNSEAL (AES-GCM)");
    if (!m_rLibrary.Has("SEAL")) {
        Note("(SEAL and UNSEAL are not in this build of the library)");
        return;
    }
    const std::string text = "4111 1111 1111 1111";
    const std::string key = Unhex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    const std::string context = "customers:42";
    auto call = [&](const char* name, const std::string& data, const std::string& ctx) {
        return m_rLibrary.TryCall(name, {Value::Of(data), Value::Of(key), Value::Of(ctx)});
    };
    const std::string sealed = m_rLibrary.Call("SEAL", {Value::Of(text), Value::Of(key), Value::Of(context)}).bytes;
    Note("key: 32 bytes 0h0001...1f (AES-256); context: '" + context + "'");
    Check("SEAL('" + text + "', key, '" + context + "') = 12-byte nonce + " + std::to_string(text.size()) +
              " bytes + 16-byte tag = " + std::to_string(sealed.size()) + " bytes",
          sealed.size() == text.size() + 28, Quote(sealed, 60));
    const CallResult opened = call("UNSEAL", sealed, context);
    Check("UNSEAL(that, key, '" + context + "') gives the text back", opened.ok() && opened.value.bytes == text,
          opened.ok() ? Quote(opened.value.bytes) : Library::Describe(opened));
    const std::string again = call("SEAL", text, context).value.bytes;
    Check("SEAL of the same text again differs: every call draws a fresh nonce",
          again.size() == sealed.size() && again.substr(0, 12) != sealed.substr(0, 12));
    std::string tampered = sealed;
    tampered[14] = static_cast<char>(tampered[14] ^ 1);
    const CallResult refused = call("UNSEAL", tampered, context);
    Check("one bit changed in the ciphertext: UNSEAL refuses it", !refused.ok() && refused.value.bytes.empty(),
          "\"" + Library::Describe(refused) + "\"");
    const CallResult moved = call("UNSEAL", sealed, "customers:43");
    Check("the value copied to another record (context 'customers:43'): refused", !moved.ok(),
          "\"" + Library::Describe(moved) + "\"");
    const CallResult empty = call("SEAL", "", context);
    Check("SEAL('') is the nonce and the tag alone, 28 bytes", empty.ok() && empty.value.bytes.size() == 28);
}

void Tour::Files(const std::string& folder) {
    Heading("Files, in the temporary folder " + folder + " (removed afterwards)");
    if (!m_rLibrary.Has("ENCRYPTFILE")) {
        Note("(ENCRYPTFILE and DECRYPTFILE are not in this build of the library)");
        return;
    }
    std::string sample;
    for (int i = 0; sample.size() < 100000; ++i) {
        sample += "Line " + std::to_string(i) + ": pack my box with five dozen liquor jugs.\n";
    }
    sample.resize(100000);
    const std::string plain = In(folder, "sample.txt");
    Files::Write(plain, sample);
    Note("sample.txt: " + std::to_string(sample.size()) + " bytes of text");

    const std::string key = "tour key";
    struct {
        const char* name;
        int type, mode, padding;
    } runs[] = {{"rijndael cbc count", 2, 1, 2}, {"aes256 ofb zeros", 2, 3, 0}, {"blowfish cbc x923", 4, 1, 3},
                {"tea cfb spaces", 8, 2, 1},     {"rc4", 1024, 0, 0}};
    for (const auto& r : runs) {
        const std::string sealed = In(folder, "sample.enc");
        const std::string opened = In(folder, "sample.out");
        const int block = r.type == 2 && r.mode == 3 ? 16 : 32;
        auto args = CipherArgs(plain, key, r.type, r.mode, r.padding, 32, block);
        args.insert(args.begin() + 1, Value::Of(sealed));
        m_rLibrary.Call("ENCRYPTFILE", args);
        args[0] = Value::Of(sealed);
        args[1] = Value::Of(opened);
        m_rLibrary.Call("DECRYPTFILE", args);
        char what[200];
        std::snprintf(what, sizeof what, "%-20s ENCRYPTFILE %lld bytes, DECRYPTFILE gives back all %zu", r.name,
                      static_cast<long long>(Files::Size(sealed)), sample.size());
        Check(what, Files::Read(opened) == sample);
    }

    // The header is the SHA-1 of a signature text that anyone can rebuild.
    const std::string sealed = In(folder, "sample.rij");
    auto args = CipherArgs(plain, key, 2, 1, 2, 32, 32);
    args.insert(args.begin() + 1, Value::Of(sealed));
    m_rLibrary.Call("ENCRYPTFILE", args);
    const std::string keyStore = key + key + key + key;
    const std::string signature = m_rLibrary.Call("HASH", {Value::Of("RIJNDAEL" + keyStore + "323212"), Value::Int(1)}).bytes;
    Check("the file's 32-byte header is HASH('RIJNDAEL' + key store + '323212', 1) + 12 zero bytes",
          Files::Read(sealed).substr(0, 32) == signature + std::string(12, '\0'));

    const std::string kept = In(folder, "kept.txt");
    Files::Write(kept, "an existing file");
    auto wrong = args;
    wrong[0] = Value::Of(sealed);
    wrong[1] = Value::Of(kept);
    wrong[2] = Value::Of("wrong key");
    const CallResult failed = m_rLibrary.TryCall("DECRYPTFILE", wrong);
    Check("DECRYPTFILE with a wrong key fails and leaves the existing output as it was",
          !failed.ok() && Files::Read(kept) == "an existing file", "\"" + Library::Describe(failed) + "\"");

    const std::string foreign = In(folder, "foreign.bf");
    Files::Write(foreign, Unhex(kForeignFile));
    m_rLibrary.Call("DECRYPTFILE", {Value::Of(foreign), Value::Of(kept), Value::Of("portable"), Value::Int(4),
                                    Value::Int(1), Value::Int(2)});
    Check("DECRYPTFILE reads a Blowfish file kept in the tool since it was written (" +
              std::to_string(std::string(kForeignFile).size() / 2) + " bytes)",
          Files::Read(kept) == kForeignText, Quote(Files::Read(kept), 60));
    Files::Write(plain, kForeignText);
    m_rLibrary.Call("ENCRYPTFILE", {Value::Of(plain), Value::Of(foreign), Value::Of("portable"), Value::Int(4),
                                    Value::Int(1), Value::Int(2)});
    Check("ENCRYPTFILE of the same text writes exactly those bytes again", Files::Read(foreign) == Unhex(kForeignFile));
    Files::Write(plain, sample);

    for (int type : {2, 5}) {
        const std::string file = m_rLibrary.Call("HASHFILE", {Value::Of(plain), Value::Int(type)}).bytes;
        const std::string memory = m_rLibrary.Call("HASH", {Value::Of(sample), Value::Int(type)}).bytes;
        Check("HASHFILE(sample.txt, " + std::to_string(type) + ") equals HASH of its contents", file == memory,
              ToHex(file));
    }
    for (int type : {1, 2}) {
        const Value file = m_rLibrary.Call("CRCFILE", {Value::Of(plain), Value::Int(type)});
        const Value memory = m_rLibrary.Call("CRC", {Value::Of(sample), Value::Int(type)});
        Check("CRCFILE(sample.txt, " + std::to_string(type) + ") = " + ValueDisplay::Show(file) + ", as CRC of its contents",
              ValueDisplay::Show(file) == ValueDisplay::Show(memory));
    }
}

void Tour::AgeFiles(const std::string& folder) {
    Heading("Files in the age format (age-encryption.org/v1), in the same folder");
    // The example key pair of age-encryption.org/v1.
    const std::string exampleIdentity = "AGE-SECRET-KEY-1GFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPQ4EGAEX";
    const std::string exampleRecipient = "age1zvkyg2lqzraa2lnjvqej32nkuu0ues2s82hzrye869xeexvn73equnujwj";
    Check("RECIPIENT of the example identity of age-encryption.org/v1 is its published recipient",
          m_rLibrary.Call("RECIPIENT", {Value::Of(exampleIdentity)}).bytes == exampleRecipient);
    // A recipient, not a passphrase: scrypt's work factor 18 takes seconds under emulation.
    const std::string identity = m_rLibrary.Call("GENERATEIDENTITY", {}).bytes;
    const std::string recipient = m_rLibrary.Call("RECIPIENT", {Value::Of(identity)}).bytes;
    Note("GENERATEIDENTITY() = " + identity.substr(0, 24) + "... (secret), RECIPIENT() of it = " + recipient);

    const std::string plain = In(folder, "sample.txt"), sealed = In(folder, "sample.age"), opened = In(folder, "opened.txt");
    std::string sample;
    for (int i = 0; i < 2000; ++i) sample += "Line " + std::to_string(i) + " of a file that travels.\n";
    Files::Write(plain, sample);
    m_rLibrary.Call("SEALFILE", {Value::Of(plain), Value::Of(sealed), Value::Of(exampleRecipient + " " + recipient), Value::Bool(true)});
    const std::string file = Files::Read(sealed);
    const std::size_t header = file.find("\n---") + 4 + 45;
    Check("SEALFILE for two recipients: two X25519 stanzas, then " + std::to_string(sample.size()) +
              " bytes in 64 KiB chunks with 16-byte tags after a 16-byte nonce",
          file.rfind("age-encryption.org/v1\n-> X25519 ", 0) == 0 && header < file.size() &&
              file.size() - header == 16 + sample.size() + 16 * ((sample.size() + 65535) / 65536));
    m_rLibrary.Call("UNSEALFILE", {Value::Of(sealed), Value::Of(opened), Value::Of("# either identity opens it\n" + identity)});
    Check("UNSEALFILE with the new identity gives the file back", Files::Read(opened) == sample);
    m_rLibrary.Call("UNSEALFILE", {Value::Of(sealed), Value::Of(opened + "2"), Value::Of(exampleIdentity)});
    Check("UNSEALFILE with the example identity as well", Files::Read(opened + "2") == sample);

    std::string tampered = file;
    tampered[header + 16 + 65552 + 100] ^= 1;
    Files::Write(sealed, tampered);
    const CallResult refused = m_rLibrary.TryCall("UNSEALFILE", {Value::Of(sealed), Value::Of(opened), Value::Of(identity)});
    Check("one changed bit in the second chunk: UNSEALFILE refuses, the existing output stays as it was",
          !refused.ok() && refused.message.find("is damaged or truncated") != std::string::npos &&
              Files::Read(opened) == sample,
          "\"" + Library::Describe(refused) + "\"");
}

void Tour::Records(const std::string& folder) {
    Heading("Table records");
    if (!m_rLibrary.Has("HASHRECORD")) {
        Note("(GETRECSTR, HASHRECORD and CRCRECORD are not in this build of the library)");
        return;
    }
    using hostsim::Cell;
    using hostsim::Field;
    hostsim::Table table({Field("NAME", 'C', 12), Field("BORN", 'D'), Field("SALARY", 'N', 9, 2), Field("ACTIVE", 'L'),
                          Field("NOTES", 'M')});
    table.Append({Cell::Text("Ada"), Cell::Date(1815, 12, 10), Cell::Number(4200.5), Cell::Logical(true),
                  Cell::Text("First program")});
    table.Append({Cell::Text("Charles"), Cell::Date(1791, 12, 26), Cell::Number(3900), Cell::Logical(false),
                  Cell::Text("Engines")});
    const std::string path = In(folder, "people.dbf");
    hostsim::WriteDbf(table, path, hostsim::DbfForm::kHost);
    const std::string alias = m_rLibrary.OpenTable(path);
    m_rLibrary.Areas().Select(alias);
    Note("people.dbf (with people.fpt): NAME C(12), BORN D, SALARY N(9,2), ACTIVE L, NOTES M; 2 records");

    hostsim::Table& open = *m_rLibrary.Areas().Find(alias);
    open.Go(1);
    const std::string record = m_rLibrary.Call("GETRECSTR", {Value::Of(alias)}).bytes;
    const std::string withMemo = m_rLibrary.Call("GETRECSTR", {Value::Of(alias), Value::Bool(true)}).bytes;
    Note("GETRECSTR('" + alias + "')       '" + record + "'");
    Note("GETRECSTR('" + alias + "', .T.)  '" + withMemo + "'");
    Check("the record string joins the fields' text forms; memos only with lMemo",
          record == "Ada         12/10/154200.50.T." && withMemo == record + "First program");
    const std::string hash = m_rLibrary.Call("HASHRECORD", {Value::Of(alias), Value::Int(2)}).bytes;
    Check("HASHRECORD('" + alias + "', 2) equals HASH(GETRECSTR('" + alias + "'), 2)",
          hash == m_rLibrary.Call("HASH", {Value::Of(record), Value::Int(2)}).bytes, ToHex(hash));
    const Value crc = m_rLibrary.Call("CRCRECORD", {Value::Of(alias)});
    Check("CRCRECORD('" + alias + "') = " + ValueDisplay::Show(crc) + ", as CRC(GETRECSTR('" + alias + "'))",
          ValueDisplay::Show(crc) == ValueDisplay::Show(m_rLibrary.Call("CRC", {Value::Of(record)})));
    open.Go(2);
    const std::string second = m_rLibrary.Call("HASHRECORD", {Value::Of(alias), Value::Int(2)}).bytes;
    Check("record 2 hashes differently: " + ToHex(second).substr(0, 16) + "...", second != hash);
    const Value none = m_rLibrary.Call("CRCRECORD", {Value::Of("nosuchtable"), Value::Int(2)});
    Check("CRCRECORD of an alias that is not open is the integer " + ValueDisplay::Show(none),
          none.kind == Value::Kind::Integer && none.integer == 0);
}

void Tour::Keys() {
    Heading("Random keys from the operating system's secure generator");
    struct {
        const char* call;
        std::vector<Value> args;
        std::string pool;
    } keys[] = {
        {"GENERATEKEY(16)", {Value::Int(16)}, "abcdefghijklmnopqrstuvwxyz"},
        {"GENERATEKEY(16, .T.)", {Value::Int(16), Value::Bool(true)}, "abcdefghijklmnopqrstuvwxyz0123456789"},
        {"GENERATEKEY(32, .T., .T., .T.)",
         {Value::Int(32), Value::Bool(true), Value::Bool(true), Value::Bool(true)},
         ""},
    };
    for (const auto& k : keys) {
        const std::string key = m_rLibrary.Call("GENERATEKEY", k.args).bytes;
        bool ok = key.size() == static_cast<std::size_t>(k.args[0].integer);
        for (char c : key) ok = ok && (k.pool.empty() ? (c > ' ' && c < 0x7F) : k.pool.find(c) != std::string::npos);
        char what[200];
        std::snprintf(what, sizeof what, "%-32s %s", k.call, key.c_str());
        Check(what, ok);
    }
}

void Tour::Passwords() {
    Heading("Passwords: Argon2id hashes (PHC strings) and PBKDF2 keys");
    if (!m_rLibrary.Has("HASHPASSWORD")) {
        Note("(HASHPASSWORD, VERIFYPASSWORD and DERIVEKEY are not in this build of the library)");
        return;
    }
    const std::string password = "correct horse battery staple";
    const auto started = std::chrono::steady_clock::now();
    const std::string stored = m_rLibrary.Call("HASHPASSWORD", {Value::Of(password)}).bytes;
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    Note("HASHPASSWORD('" + password + "')   (19 MiB, 2 passes: " + std::to_string(took.count()) + " ms)");
    Note("  " + stored);
    Check("the defaults: Argon2id version 19, 19456 KiB, 2 passes, 1 lane, 16-byte salt, 32-byte tag",
          stored.rfind("$argon2id$v=19$m=19456,t=2,p=1$", 0) == 0 && stored.size() == 97);
    const auto verify = [&](const std::string& p, const std::string& s) {
        return m_rLibrary.Call("VERIFYPASSWORD", {Value::Of(p), Value::Of(s)});
    };
    Check("VERIFYPASSWORD(the password, that hash) = .T.", verify(password, stored).logical);
    Check("VERIFYPASSWORD('Correct horse battery staple', that hash) = .F.",
          !verify("Correct horse battery staple", stored).logical);
    const std::string again = m_rLibrary.Call("HASHPASSWORD", {Value::Of(password), Value::Int(64), Value::Int(1)}).bytes;
    Check("HASHPASSWORD(the password, 64, 1): a new salt, so another string", again != stored, again);

    // Written by libargon2 20171227: Argon2i, 4 lanes, a NUL in the password.
    const std::string foreign = "$argon2i$v=19$m=32,t=3,p=4$c29tZXNhbHQ$oMfrdgrCetJbRLi/49rS3LX5USPdbW9k6mvIQiL2UZI";
    Check("VERIFYPASSWORD('pass' + CHR(0) + 'word', a hash another library wrote) = .T.",
          verify(std::string("pass\0word", 9), foreign).logical, foreign);
    const CallResult bad = m_rLibrary.TryCall("VERIFYPASSWORD", {Value::Of(password), Value::Of("$argon2id$v=19$m=2097152,t=1,p=1$c29tZXNhbHQ$MTIzNA")});
    Check("a stored hash asking for 2 GiB is refused before any memory is taken", !bad.ok(),
          "\"" + Library::Describe(bad) + "\"");

    const std::string rfc6070 = ToHex(m_rLibrary.Call("DERIVEKEY", {Value::Of("password"), Value::Of("salt"),
                                                                    Value::Int(4096), Value::Int(20), Value::Int(1)})
                                          .bytes);
    Check("DERIVEKEY('password', 'salt', 4096, 20, 1)  RFC 6070", rfc6070 == "4b007901b765489abead49d926f721d065a429c1",
          rfc6070);
    const std::string rfc7914 =
        ToHex(m_rLibrary.Call("DERIVEKEY", {Value::Of("passwd"), Value::Of("salt"), Value::Int(1), Value::Int(64), Value::Int(2)})
                  .bytes);
    Check("DERIVEKEY('passwd', 'salt', 1, 64, 2)  RFC 7914 (PBKDF2-HMAC-SHA256)",
          rfc7914 == "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
                     "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783",
          rfc7914.substr(0, 32) + "...");
    const std::string key = m_rLibrary.Call("DERIVEKEY", {Value::Of(password), Value::Of("per-user salt"), Value::Int(10000)}).bytes;
    Check("DERIVEKEY(the password, 'per-user salt', 10000): 32 bytes of SHA-512 PBKDF2", key.size() == 32, ToHex(key));
    Note("HASHPASSWORD is for stored logins; DERIVEKEY makes keys for ENCRYPT (600000 iterations of SHA-256 or");
    Note("210000 of SHA-512 are today's advice). HASH is one fast digest: never a password hash.");
}

}  // namespace mg::tool
