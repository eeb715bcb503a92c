// File decryption of arbitrary files, of arbitrary bodies behind a valid header
// and of real encrypted files, mutated or not, for every cipher and setting,
// through the cipher classes and DECRYPTFILE alike. Checked: a failure is one
// of the library's own errors; an unmutated file gives its plaintext; class and
// function give the same bytes or error; RC4 decrypts with its keystream.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "cipher/blowfish.h"
#include "cipher/byte_order.h"
#include "cipher/rijndael.h"
#include "cipher/tea.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/scratch_dir.h"
#include "hostsim/host.h"

namespace mg::fuzz {
namespace {

using hostsim::CallResult;
using hostsim::Value;

enum Cipher { kRijndael, kBlowfish, kTea, kRc4 };

struct Case {
    Cipher cipher = kRijndael;
    std::string key, iv, plain;  // the IV as the host passes it: any length
    std::int32_t keySize = 32, blockSize = 32, mode = 0, padding = 0;
    int scenario = 0;  // 0 any file, 1 any body behind a matching header, 2 a real file, 3 a mutated one
    struct Mutation {
        int kind;  // 0 cut, 1 flip, 2 append
        std::uint32_t at;
        std::uint8_t mask;
        std::string bytes;
    };
    std::vector<Mutation> mutations;
};

Case Decode(FuzzInput& in) {
    static const std::int32_t kSizes[] = {16, 24, 32};
    Case c;
    c.cipher = static_cast<Cipher>(in.Byte() % 4);
    c.key = in.Bytes(in.Byte() < 8 ? 300 : 40);
    c.keySize = in.Pick(kSizes);
    c.blockSize = c.cipher == kBlowfish || c.cipher == kTea ? 8 : in.Pick(kSizes);
    c.mode = in.Byte() % 4;
    c.padding = in.Byte() % 5;
    c.iv = in.Bytes(40);
    c.scenario = in.Byte() % 4;
    for (int n = c.scenario == 3 ? 1 + in.Byte() % 3 : 0; n > 0; --n) {
        Case::Mutation m{in.Byte() % 3, in.U32(), in.Byte(), ""};
        if (m.kind == 2) m.bytes = in.Bytes(100);
        c.mutations.push_back(m);
    }
    c.plain = in.Rest();
    return c;
}

std::string Mutate(std::string file, const Case& c) {
    for (const Case::Mutation& m : c.mutations) {
        if (m.kind == 2) {
            file += m.bytes;
        } else if (!file.empty() && m.kind == 0) {
            file.resize(m.at % file.size());
        } else if (!file.empty()) {
            file[m.at % file.size()] = static_cast<char>(file[m.at % file.size()] ^ (m.mask | 1));
        }
    }
    return file;
}

// One object per cipher for all inputs, so that every Initialize follows earlier use.
IBlockCipher* Initialize(const Case& c, std::string& error) {
    static CRijndael rijndael;
    static CBlowfish blowfish;
    static CTea tea;
    unsigned char iv[32] = {};
    std::memcpy(iv, c.iv.data(), std::min<std::size_t>(c.iv.size(), static_cast<std::size_t>(c.blockSize)));
    const auto* key = reinterpret_cast<const unsigned char*>(c.key.data());
    const auto keyLength = static_cast<std::int32_t>(c.key.size());
    try {
        switch (c.cipher) {
            case kBlowfish: {
                const std::uint32_t words[2] = {LoadBe32(iv), LoadBe32(iv + 4)};
                blowfish.Initialize(key, keyLength, words, c.mode, c.padding);
                return &blowfish;
            }
            case kTea:
                tea.Initialize(key, keyLength, iv, c.mode, c.padding);
                return &tea;
            default:
                rijndael.Initialize(key, keyLength, iv, c.keySize, c.blockSize, c.mode, c.padding);
                return &rijndael;
        }
    } catch (const std::runtime_error& e) {
        error = e.what();
        return nullptr;
    }
}

CallResult CallFile(const char* function, const Case& c, const std::string& in, const std::string& out) {
    static const std::int32_t kTypes[] = {2, 4, 8, 1024};  // by Cipher
    static hostsim::Host* host = new hostsim::Host();
    return host->Call(function, {Value::Of(ScratchFile(in)), Value::Of(ScratchFile(out)), Value::Of(c.key),
                                 Value::Int(kTypes[c.cipher]), Value::Int(c.mode), Value::Int(c.padding),
                                 Value::Int(c.keySize), Value::Int(c.blockSize), Value::Of(c.iv)});
}

// "enc" through the class into "out" and through DECRYPTFILE into "fout"; returns the class's error.
std::string DecryptBoth(IBlockCipher& cipher, const Case& c) {
    std::string classError;
    try {
        cipher.DecryptFile(ScratchFile("enc").c_str(), ScratchFile("out").c_str());
    } catch (const std::runtime_error& e) {
        classError = e.what();
        if (classError.rfind("FileCrypt ERROR: ", 0) != 0 && classError != "Illegal Block Size!") {
            Fail("DecryptFile failed with a foreign error: " + classError);
        }
    }
    const CallResult r = CallFile("DECRYPTFILE", c, "enc", "fout");
    if (r.value.kind != Value::Kind::None) Fail("DECRYPTFILE returned a value");
    const std::string functionError = r.error == abi::kErrorLibraryMessage ? r.message : "";
    std::string expected = classError;  // except that the function names its own output file
    const std::string outName = ScratchFile("out");
    if (const auto at = expected.find(outName); at != std::string::npos) {
        expected.replace(at, outName.size(), ScratchFile("fout"));
    }
    if (functionError != expected || (r.error != 0 && functionError.empty())) {
        Fail("DECRYPTFILE said \"" + functionError + "\" (error " + std::to_string(r.error) +
             "), DecryptFile said \"" + classError + "\"");
    }
    std::string a, b;
    if (classError.empty() && (!ReadScratch("out", a) || !ReadScratch("fout", b) || a != b)) {
        Fail("DECRYPTFILE and DecryptFile wrote different files");
    }
    return classError;
}

void BlockCipherCase(const Case& c) {
    std::string error;
    IBlockCipher* cipher = Initialize(c, error);
    if (cipher == nullptr) {
        if (!c.key.empty()) Fail("Initialize refused a key: " + error);
        return;
    }
    if (c.scenario <= 1) {
        unsigned char header[33] = {};  // a matching header, so that the body is what gets examined
        cipher->GetSignature(header);
        WriteScratch("enc", (c.scenario == 1 ? std::string(reinterpret_cast<const char*>(header), 32) : "") + c.plain);
        DecryptBoth(*cipher, c);
        return;
    }

    WriteScratch("plain", c.plain);
    try {
        cipher->EncryptFile(ScratchFile("plain").c_str(), ScratchFile("enc").c_str());
    } catch (const std::runtime_error& e) {
        Fail(std::string("EncryptFile failed: ") + e.what());
    }
    std::string encrypted;
    if (!ReadScratch("enc", encrypted)) Fail("no encrypted file");
    if (c.padding != IBlockCipher::kPadRandomCount) {
        const CallResult r = CallFile("ENCRYPTFILE", c, "plain", "fenc");
        std::string viaFunction;
        if (!r.ok() || !ReadScratch("fenc", viaFunction) || viaFunction != encrypted) {
            Fail("ENCRYPTFILE and EncryptFile disagree: " + r.message);
        }
    }
    if (!c.mutations.empty()) WriteScratch("enc", Mutate(encrypted, c));

    const std::string decryptError = DecryptBoth(*cipher, c);
    std::string decrypted;
    if (c.mutations.empty() && (!decryptError.empty() || !ReadScratch("out", decrypted) || decrypted != c.plain)) {
        Fail("a round trip of " + std::to_string(c.plain.size()) + " bytes failed: " + decryptError);
    }
}

// The keystream depends on the position alone: whatever a mutation did, the
// decryption XOR the file is the keystream.
void Rc4Case(const Case& c) {
    WriteScratch("plain", c.plain);
    const CallResult r = CallFile("ENCRYPTFILE", c, "plain", "enc");
    if (c.key.empty() || c.key[0] == '\0') {
        if (r.ok()) Fail("RC4 accepted an empty key");
        return;
    }
    std::string encrypted;
    if (!r.ok() || !ReadScratch("enc", encrypted) || encrypted.size() != c.plain.size()) {
        Fail("RC4 ENCRYPTFILE failed: " + r.message);
    }
    const std::string changed = Mutate(encrypted, c);
    WriteScratch("enc", changed);
    const CallResult d = CallFile("DECRYPTFILE", c, "enc", "out");
    std::string decrypted;
    if (!d.ok() || !ReadScratch("out", decrypted) || decrypted.size() != changed.size()) {
        Fail("RC4 DECRYPTFILE failed: " + d.message);
    }
    for (std::size_t i = 0; i < std::min(changed.size(), c.plain.size()); ++i) {
        if ((decrypted[i] ^ changed[i]) != (c.plain[i] ^ encrypted[i])) {
            Fail("RC4 keystream differs at " + std::to_string(i));
        }
    }
}

}  // namespace
}  // namespace mg::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mg::fuzz::FuzzInput in(data, size);
    const mg::fuzz::Case c = mg::fuzz::Decode(in);
    mg::fuzz::ClearScratch();
    c.cipher == mg::fuzz::kRc4 ? mg::fuzz::Rc4Case(c) : mg::fuzz::BlockCipherCase(c);
    return 0;
}
