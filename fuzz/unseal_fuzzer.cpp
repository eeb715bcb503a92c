// UNSEAL on arbitrary sealed values, keys and contexts through the substitute
// host, and on values that SEAL made and the input then changed. Checked: the
// only outcomes are the data or one of the library's messages without a
// value; a changed value never opens; what opens agrees with the portable
// core; no handle is left behind.
#include <cstdint>
#include <string>

#include "cipher/aes_gcm.h"
#include "fuzz/fuzz_input.h"
#include "hostsim/host.h"

namespace mg::fuzz {
namespace {

using hostsim::CallResult;
using hostsim::Host;
using hostsim::Value;

const std::string kKeyError = "Seal ERROR: Key must be 16, 24 or 32 bytes!";
const std::string kShort = "Seal ERROR: Sealed data is too short!";
const std::string kForged = "Seal ERROR: Sealed data is not authentic!";

std::vector<Value> Args(const std::string& data, const std::string& key, const std::string& context, bool given) {
    std::vector<Value> args = {Value::Of(data), Value::Of(key)};
    if (given) args.push_back(Value::Of(context));
    return args;
}

// What the portable core makes of the same bytes: the plaintext, or nothing.
bool CoreOpens(const std::string& sealed, const std::string& key, const std::string& context, std::string& plain) {
    CAesGcm gcm;
    gcm.SetAccelLimit(0);
    gcm.Initialize(reinterpret_cast<const unsigned char*>(key.data()), key.size());
    const std::size_t n = sealed.size() - 28;
    plain.assign(n, '\0');
    const auto* s = reinterpret_cast<const unsigned char*>(sealed.data());
    return gcm.Open(s, reinterpret_cast<const unsigned char*>(context.data()), context.size(), s + 12, n, s + 12 + n,
                    reinterpret_cast<unsigned char*>(plain.data()));
}

void Check(FuzzInput& in) {
    static Host* host = new Host();
    host->Register();
    static const std::size_t kKeyLengths[] = {16, 24, 32, 16, 24, 32, 0, 15, 17, 31, 33};
    const std::size_t keyLength = in.Pick(kKeyLengths);
    const ByteVector keyBytes = in.Fixed(keyLength);
    const std::string key(keyBytes.begin(), keyBytes.end());
    const bool contextGiven = in.Bool();
    const std::string context = contextGiven ? in.Bytes(64) : std::string();
    std::string sealed;
    bool changed = true;
    if (in.Bool() && CAesGcm::IsKeySize(keyLength)) {
        // A genuine value, then perhaps one change: a flipped bit, a cut or an added byte.
        const CallResult made = host->Call("SEAL", Args(in.Bytes(200), key, context, contextGiven));
        if (!made.ok()) Fail("SEAL failed: " + made.message);
        sealed = made.value.bytes;
        switch (in.Byte() % 4) {
        case 0: changed = false; break;
        case 1: {
            const std::size_t bit = in.Below(static_cast<std::uint32_t>(8 * sealed.size()));
            sealed[bit / 8] = static_cast<char>(sealed[bit / 8] ^ (1 << (bit % 8)));
            break;
        }
        case 2: sealed.resize(in.Below(static_cast<std::uint32_t>(sealed.size()))); break;
        default: sealed += static_cast<char>(in.Byte()); break;
        }
    } else {
        sealed = in.Rest();
    }
    const std::size_t handles = host->OccupiedHandles();
    const CallResult r = host->Call("UNSEAL", Args(sealed, key, context, contextGiven));
    if (host->OccupiedHandles() != handles) Fail("UNSEAL left a handle behind");
    if (!r.ok()) {
        if (r.value.kind != Value::Kind::None) Fail("a failed UNSEAL returned a value");
        const std::string expected = !CAesGcm::IsKeySize(keyLength) ? kKeyError : sealed.size() < 28 ? kShort : kForged;
        if (r.message != expected) Fail("UNSEAL said '" + r.message + "', expected '" + expected + "'");
        if (expected == kForged) {
            std::string plain;
            if (CoreOpens(sealed, key, context, plain)) Fail("the portable core opens what UNSEAL refused");
        }
        return;
    }
    // Arbitrary bytes would open only with a forged tag, a changed genuine value never.
    if (changed) Fail("UNSEAL opened a value that SEAL did not make as it stands");
    std::string plain;
    if (!CoreOpens(sealed, key, context, plain) || plain != r.value.bytes) Fail("UNSEAL and the portable core disagree");
}

}  // namespace
}  // namespace mg::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mg::fuzz::FuzzInput in(data, size);
    mg::fuzz::Check(in);
    return 0;
}
