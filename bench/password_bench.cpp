// Rows of the password functions, called through DispatchAPI by the substitute
// host: HASHPASSWORD with its defaults (Argon2id, 19 MiB, 2 passes, 1 lane)
// against libargon2's argon2_hash on the same parameters, and DERIVEKEY with
// 600,000 iterations of HMAC-SHA-256 against OpenSSL's PKCS5_PBKDF2_HMAC.
// "ref-portable" is the library's portable Argon2 core, for reference only.
#include <string>

#include "bench/bench_registry.h"
#include "hostsim/host.h"
#include "kdf/argon2.h"

#if MG_BENCH_OPENSSL
#include <openssl/evp.h>
#endif
#if MG_BENCH_ARGON2
#include <argon2.h>
#endif

namespace mg::bench {
namespace {

using hostsim::Host;
using hostsim::Value;

const std::string kPassword = "correct horse battery staple";
const std::string kSalt = "0123456789abcdef";
constexpr std::uint32_t kMemoryKiB = 19456;
constexpr std::uint32_t kPasses = 2;
constexpr int kIterations = 600000;

Host& TheHost() {
    static Host host;
    return host;
}

void Register() {
    const std::string argonRow = "HASHPASSWORD defaults";
    AddCalls(argonRow, kLibrary, [] {
        const hostsim::CallResult r = TheHost().Call("HASHPASSWORD", {Value::Of(kPassword)});
        benchmark::DoNotOptimize(r.value.bytes.data());
    });
    AddCalls(argonRow, "ref-portable", [] {
        CArgon2::Parameters p;
        p.memoryKiB = kMemoryKiB;
        p.passes = kPasses;
        unsigned char tag[32];
        CArgon2(p, Argon2FillPortable)
            .Hash({{reinterpret_cast<const unsigned char*>(kPassword.data()), kPassword.size()},
                   {reinterpret_cast<const unsigned char*>(kSalt.data()), kSalt.size()}, {}, {}},
                  tag, sizeof tag);
        benchmark::DoNotOptimize(tag);
    });
#if MG_BENCH_ARGON2
    AddCalls(argonRow, "libargon2", [] {
        unsigned char tag[32];
        argon2_hash(kPasses, kMemoryKiB, 1, kPassword.data(), kPassword.size(), kSalt.data(), kSalt.size(), tag,
                    sizeof tag, nullptr, 0, Argon2_id, ARGON2_VERSION_13);
        benchmark::DoNotOptimize(tag);
    });
    // At most 0.6 times libargon2's time.
    SetTarget(argonRow, 1.0 / 0.6, "libargon2");
#endif

    const std::string pbkdf2Row = "DERIVEKEY 600000 SHA-256";
    AddCalls(pbkdf2Row, kLibrary, [] {
        const hostsim::CallResult r = TheHost().Call(
            "DERIVEKEY", {Value::Of(kPassword), Value::Of(kSalt), Value::Int(kIterations), Value::Int(32), Value::Int(2)});
        benchmark::DoNotOptimize(r.value.bytes.data());
    });
#if MG_BENCH_OPENSSL
    AddCalls(pbkdf2Row, "openssl", [] {
        unsigned char key[32];
        PKCS5_PBKDF2_HMAC(kPassword.data(), static_cast<int>(kPassword.size()),
                          reinterpret_cast<const unsigned char*>(kSalt.data()), static_cast<int>(kSalt.size()),
                          kIterations, EVP_sha256(), sizeof key, key);
        benchmark::DoNotOptimize(key);
    });
    SetTarget(pbkdf2Row, 1.0, "openssl");
#endif
}

const bool kRegistered = (Register(), true);

}  // namespace
}  // namespace mg::bench
