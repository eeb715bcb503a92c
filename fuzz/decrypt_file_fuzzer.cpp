// File decryption over arbitrary files, files with a valid header and an
// arbitrary body, and real encrypted files with mutations (cut short, bytes
// flipped, bytes added), for every cipher, key size, block size, mode and
// padding; through the cipher classes and, for the same file, through
// DECRYPTFILE as the host calls it.
//
// Checked: nothing crashes; a failure is one of the library's own errors; an
// unmutated file decrypts to its plaintext exactly; the function and the
// class give the same bytes or the same error; RC4 files equal an
// independent computation of the chunked keystream.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "cipher/blowfish.h"
#include "cipher/rc4.h"
#include "cipher/rijndael.h"
#include "cipher/tea.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/scratch_dir.h"
#include "hostsim/host.h"

namespace mg::fuzz {
namespace {

using hostsim::CallResult;
using hostsim::Host;
using hostsim::Value;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "decrypt file fuzzer: %s\n", what.c_str());
    std::abort();
}

struct Session {
    ScratchDir scratch;
    Host host;
    CRijndael rijndael;
    CBlowfish blowfish;
    CTea tea;
};

Session& TheSession() {
    static Session* session = new Session();
    return *session;
}

enum Cipher { kRijndael, kBlowfish, kTea, kRc4 };

struct Settings {
    Cipher cipher = kRijndael;
    std::string key;
    std::int32_t keySize = 32;
    std::int32_t blockSize = 32;
    std::int32_t mode = 0;
    std::int32_t padding = 0;
    std::string iv;  // as the host passes it: any length

    std::int32_t Type() const {
        switch (cipher) {
            case kBlowfish: return 4;
            case kTea: return 8;
            case kRc4: return 1024;
            default: return 2;
        }
    }
};

// One mutation of an encrypted file.
struct Mutation {
    int kind;  // 0 cut, 1 flip, 2 append
    std::uint32_t at;
    std::uint8_t mask;
    std::string bytes;
};

bool IsLibraryError(const std::string& message) {
    return message.rfind("FileCrypt ERROR: ", 0) == 0 || message == "Illegal Block Size!";
}

std::string Mutate(std::string file, const std::vector<Mutation>& mutations) {
    for (const Mutation& m : mutations) {
        switch (m.kind) {
            case 0: file.resize(file.empty() ? 0 : m.at % file.size()); break;
            case 1:
                if (!file.empty()) file[m.at % file.size()] = static_cast<char>(file[m.at % file.size()] ^ (m.mask | 1));
                break;
            default: file += m.bytes; break;
        }
    }
    return file;
}

class Run {
public:
    Run(Session& session, FuzzInput& in) : m_session(session), m_in(in) {}
    void Execute();

private:
    IBlockCipher* Initialize(std::string& error);
    std::vector<Value> FileArgs(const std::string& in, const std::string& out) const;
    // Decrypts "enc" through the class into "out" and through DECRYPTFILE
    // into "fout"; both must agree. Returns the class's error text, if any.
    std::string DecryptBoth(IBlockCipher& cipher);
    void BlockCipherCase(int scenario, const std::vector<Mutation>& mutations);
    void Rc4Case(const std::vector<Mutation>& mutations);
    std::string Rc4Model(const std::string& data) const;

    Session& m_session;
    FuzzInput& m_in;
    Settings m_s;
    std::string m_sPlain;
};

IBlockCipher* Run::Initialize(std::string& error) {
    unsigned char iv[32] = {};
    std::memcpy(iv, m_s.iv.data(), std::min<std::size_t>(m_s.iv.size(), static_cast<std::size_t>(m_s.blockSize)));
    const auto* key = reinterpret_cast<const unsigned char*>(m_s.key.data());
    const auto keyLength = static_cast<std::int32_t>(m_s.key.size());
    try {
        switch (m_s.cipher) {
            case kBlowfish: {
                const std::uint32_t words[2] = {
                    std::uint32_t(iv[0]) << 24 | std::uint32_t(iv[1]) << 16 | std::uint32_t(iv[2]) << 8 | iv[3],
                    std::uint32_t(iv[4]) << 24 | std::uint32_t(iv[5]) << 16 | std::uint32_t(iv[6]) << 8 | iv[7]};
                m_session.blowfish.Initialize(key, keyLength, words, m_s.mode, m_s.padding);
                return &m_session.blowfish;
            }
            case kTea:
                m_session.tea.Initialize(key, keyLength, iv, m_s.mode, m_s.padding);
                return &m_session.tea;
            default:
                m_session.rijndael.Initialize(key, keyLength, iv, m_s.keySize, m_s.blockSize, m_s.mode, m_s.padding);
                return &m_session.rijndael;
        }
    } catch (const std::runtime_error& e) {
        error = e.what();
        return nullptr;
    }
}

std::vector<Value> Run::FileArgs(const std::string& in, const std::string& out) const {
    return {Value::Of(m_session.scratch.File(in)), Value::Of(m_session.scratch.File(out)), Value::Of(m_s.key),
            Value::Int(m_s.Type()), Value::Int(m_s.mode), Value::Int(m_s.padding), Value::Int(m_s.keySize),
            Value::Int(m_s.blockSize), Value::Of(m_s.iv)};
}

std::string Run::DecryptBoth(IBlockCipher& cipher) {
    const ScratchDir& dir = m_session.scratch;
    std::string classError;
    try {
        cipher.DecryptFile(dir.File("enc").c_str(), dir.File("out").c_str());
    } catch (const std::runtime_error& e) {
        classError = e.what();
        if (!IsLibraryError(classError)) Fail("DecryptFile failed with a foreign error: " + classError);
    }
    const CallResult r = m_session.host.Call("DECRYPTFILE", FileArgs("enc", "fout"));
    if (r.error == Host::kErrorNoFunction) return classError;
    if (r.value.kind != Value::Kind::None) Fail("DECRYPTFILE returned a value");
    const std::string functionError = r.error == abi::kErrorLibraryMessage ? r.message : "";
    // The function names its own output file, the only byte that may differ.
    std::string expected = classError;
    const std::string outName = dir.File("out");
    if (const auto at = expected.find(outName); at != std::string::npos) expected.replace(at, outName.size(), dir.File("fout"));
    if (functionError != expected || (r.error != 0 && functionError.empty())) {
        Fail("DECRYPTFILE said \"" + functionError + "\" (error " + std::to_string(r.error) +
             "), DecryptFile said \"" + classError + "\"");
    }
    std::string a, b;
    if (classError.empty() && (!dir.Read("out", a) || !dir.Read("fout", b) || a != b)) {
        Fail("DECRYPTFILE and DecryptFile wrote different files");
    }
    return classError;
}

void Run::BlockCipherCase(int scenario, const std::vector<Mutation>& mutations) {
    const ScratchDir& dir = m_session.scratch;
    std::string error;
    IBlockCipher* cipher = Initialize(error);
    if (cipher == nullptr) {
        if (!m_s.key.empty()) Fail("Initialize refused a key: " + error);
        return;
    }
    const std::int32_t block = cipher->BlockSize();

    if (scenario <= 1) {
        std::string file = m_sPlain;
        if (scenario == 1) {
            // A header that matches, so that the body is what gets examined.
            unsigned char header[33] = {};
            cipher->GetSignature(header);
            file = std::string(reinterpret_cast<const char*>(header), 32) + file;
        }
        dir.Write("enc", file);
        DecryptBoth(*cipher);
        return;
    }

    dir.Write("plain", m_sPlain);
    try {
        cipher->EncryptFile(dir.File("plain").c_str(), dir.File("enc").c_str());
    } catch (const std::runtime_error& e) {
        Fail(std::string("EncryptFile failed: ") + e.what());
    }
    std::string encrypted;
    if (!dir.Read("enc", encrypted)) Fail("no encrypted file");
    const std::size_t length = m_sPlain.size();
    const std::size_t body = length == 0 ? 0 : (length / block + 1) * block;
    if (encrypted.size() != 32 + body) {
        Fail("an input of " + std::to_string(length) + " bytes gave a file of " + std::to_string(encrypted.size()));
    }
    if (m_s.padding != IBlockCipher::kPadRandomCount) {
        const CallResult r = m_session.host.Call("ENCRYPTFILE", FileArgs("plain", "fenc"));
        std::string viaFunction;
        if (r.error != Host::kErrorNoFunction && (!r.ok() || !dir.Read("fenc", viaFunction) || viaFunction != encrypted)) {
            Fail("ENCRYPTFILE and EncryptFile disagree: " + r.message);
        }
    }
    if (!mutations.empty()) dir.Write("enc", Mutate(encrypted, mutations));

    const std::string decryptError = DecryptBoth(*cipher);
    if (mutations.empty()) {
        std::string decrypted;
        if (!decryptError.empty()) Fail("an unchanged file failed to decrypt: " + decryptError);
        if (!dir.Read("out", decrypted) || decrypted != m_sPlain) {
            Fail("a round trip of " + std::to_string(length) + " bytes gave " + std::to_string(decrypted.size()) +
                 " other bytes");
        }
    }
}

// The RC4 file form computed independently: chunk c of at most 384 bytes is
// XORed with keystream bytes 385c onwards; the key ends at its first zero.
std::string Run::Rc4Model(const std::string& data) const {
    const std::string key = m_s.key.substr(0, m_s.key.find('\0'));
    Rc4State state;
    Rc4Setup(reinterpret_cast<const unsigned char*>(key.data()), static_cast<std::int32_t>(key.size()), state);
    std::string out;
    for (std::size_t at = 0; at < data.size(); at += 384) {
        unsigned char chunk[385] = {};
        const std::size_t n = std::min<std::size_t>(384, data.size() - at);
        std::memcpy(chunk, data.data() + at, n);
        Rc4Crypt(chunk, 385, state);
        out.append(reinterpret_cast<const char*>(chunk), n);
    }
    return out;
}

void Run::Rc4Case(const std::vector<Mutation>& mutations) {
    const ScratchDir& dir = m_session.scratch;
    dir.Write("plain", m_sPlain);
    const CallResult r = m_session.host.Call("ENCRYPTFILE", FileArgs("plain", "enc"));
    if (r.error == Host::kErrorNoFunction) return;
    const bool keyless = m_s.key.empty() || m_s.key[0] == '\0';
    if (keyless) {
        if (r.ok()) Fail("RC4 accepted an empty key");
        return;
    }
    std::string encrypted;
    if (!r.ok() || !dir.Read("enc", encrypted)) Fail("RC4 ENCRYPTFILE failed: " + r.message);
    if (encrypted != Rc4Model(m_sPlain)) Fail("the RC4 file form differs from the chunked keystream");
    const std::string changed = Mutate(encrypted, mutations);
    dir.Write("enc", changed);
    const CallResult d = m_session.host.Call("DECRYPTFILE", FileArgs("enc", "out"));
    std::string decrypted;
    if (!d.ok() || !dir.Read("out", decrypted)) Fail("RC4 DECRYPTFILE failed: " + d.message);
    if (decrypted != Rc4Model(changed)) Fail("RC4 decryption differs from the chunked keystream");
}

void Run::Execute() {
    m_session.scratch.Clear();
    static const std::int32_t kSizes[] = {16, 24, 32};
    m_s.cipher = static_cast<Cipher>(m_in.Byte() % 4);
    m_s.key = m_in.Bytes(m_in.Byte() < 8 ? 300 : 40);
    m_s.keySize = m_in.Pick(kSizes);
    m_s.blockSize = m_s.cipher == kBlowfish || m_s.cipher == kTea ? 8 : m_in.Pick(kSizes);
    m_s.mode = m_in.Byte() % 4;
    m_s.padding = m_in.Byte() % 5;
    m_s.iv = m_in.Bytes(40);
    const int scenario = m_in.Byte() % 4;
    std::vector<Mutation> mutations;
    if (scenario == 3) {
        for (int n = 1 + m_in.Byte() % 3; n > 0; --n) {
            Mutation m;
            m.kind = m_in.Byte() % 3;
            m.at = m_in.U32();
            m.mask = m_in.Byte();
            if (m.kind == 2) m.bytes = m_in.Bytes(100);
            mutations.push_back(m);
        }
    }
    m_sPlain = m_in.Rest();
    if (m_s.cipher == kRc4) {
        Rc4Case(mutations);
    } else {
        BlockCipherCase(scenario, mutations);
    }
}

}  // namespace
}  // namespace mg::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mg::fuzz::FuzzInput in(data, size);
    mg::fuzz::Run(mg::fuzz::TheSession(), in).Execute();
    return 0;
}
