// The PHC string parser on any bytes: no crash, no read outside the input,
// nothing accepted outside the limits, and whatever it accepts is the one
// deterministic encoding of what it read (strings without "v=", version 16,
// and with associated data are written back in the longer form). Small
// accepted hashes are also computed, with a wrong password.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "kdf/argon2.h"
#include "kdf/phc_string.h"

namespace mg::fuzz {
namespace {

constexpr CPhcString::Limits kLimits{1048576, 100, 16};

void Check(std::string_view text) {
    const auto parsed = CPhcString::Parse(text, kLimits);
    if (!parsed) return;
    const CArgon2::Parameters& p = parsed->Parameters();
    if (p.memoryKiB > kLimits.maxMemoryKiB || p.passes > kLimits.maxPasses || p.lanes > kLimits.maxLanes ||
        p.passes < 1 || p.lanes < 1 || p.memoryKiB < 8 * p.lanes)
        Fail("parameters outside the limits accepted");
    if (parsed->Salt().size() < CPhcString::kMinSalt || parsed->Tag().size() < CPhcString::kMinTag ||
        parsed->AssociatedData().size() > CPhcString::kMaxData)
        Fail("salt, tag or data of a refused length accepted");
    const std::string again = CPhcString::Format(p, parsed->Salt().data(), parsed->Salt().size(), parsed->Tag().data(),
                                                 parsed->Tag().size());
    const bool shortForm = text.find("$v=") == std::string_view::npos;
    if (!shortForm && parsed->AssociatedData().empty() && again != text)
        Fail("accepted a string that is not the deterministic encoding: " + std::string(text));
    const auto reparsed = CPhcString::Parse(again, kLimits);
    if (!reparsed || reparsed->Salt() != parsed->Salt() || reparsed->Tag() != parsed->Tag() ||
        reparsed->Parameters().memoryKiB != p.memoryKiB || reparsed->Parameters().version != p.version)
        Fail("the written form does not read back the same");
    if (static_cast<std::uint64_t>(p.memoryKiB) * p.passes <= 4096) {
        std::vector<unsigned char> tag(parsed->Tag().size());
        const unsigned char password[] = {'x'};
        CArgon2(p).Hash({password, parsed->Salt(), {}, parsed->AssociatedData()}, tag.data(), tag.size());
    }
}

}  // namespace
}  // namespace mg::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mg::fuzz::Check(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
