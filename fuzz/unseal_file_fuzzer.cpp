// UNSEALFILE on real age files, sealed for recipients or (with a small work
// factor) a passphrase, then cut, flipped, extended or left alone. Checked:
// an untouched file opens to its plaintext; every changed one is refused with
// one of the library's messages, and neither an output nor a temporary file
// is left behind.
#include <cstdint>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "age/age_file.h"
#include "fuzz/fuzz_input.h"
#include "fuzz/scratch_dir.h"
#include "hostsim/host.h"

namespace mg::fuzz {
namespace {

using hostsim::CallResult;
using hostsim::Value;

const std::string kIdentity = "AGE-SECRET-KEY-1GFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPQ4EGAEX";
const std::string kRecipient = "age1zvkyg2lqzraa2lnjvqej32nkuu0ues2s82hzrye869xeexvn73equnujwj";
const std::string kOther = "age1um9xzqd8evapc8hjw3lysldmkg00r37y63s7a2hups8uwqhdpacskhys3v";

struct Mutation {
    int kind;  // 0 cut, 1 flip, 2 append
    std::uint32_t at;
    std::uint8_t mask;
    std::string bytes;
};

std::string Seal(const std::string& plain, bool passphrase, std::uint32_t seed) {
    std::mt19937 generator(seed);
    auto random = [&](unsigned char* out, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(generator());
    };
    std::istringstream in(plain);
    std::ostringstream out;
    age::CAgeFile::SealStream(in, out, passphrase ? "password" : kOther + " " + kRecipient, !passphrase, random, 2);
    return out.str();
}

}  // namespace
}  // namespace mg::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mg::fuzz;
    FuzzInput in(data, size);
    const bool passphrase = in.Bool();
    const std::uint32_t seed = in.U32();
    std::vector<Mutation> mutations;
    for (int n = in.Byte() % 4; n > 0; --n) {
        Mutation m{in.Byte() % 3, in.U32(), static_cast<std::uint8_t>(in.Byte() | 1), ""};
        if (m.kind == 2) m.bytes = in.Bytes(40);
        if (m.kind != 2 || !m.bytes.empty()) mutations.push_back(m);
    }
    // Plaintexts around the chunk size as well as short ones.
    std::string plain = in.Rest();
    if (!plain.empty() && (plain[0] & 0x80)) plain.append(65536 - (plain[0] & 0x1f), 'x');

    std::string file = Seal(plain, passphrase, seed);
    const std::string original = file;
    for (const Mutation& m : mutations) {
        if (m.kind == 2) {
            file += m.bytes;
        } else if (file.empty()) {
            continue;
        } else if (m.kind == 0) {
            file.resize(m.at % file.size());
        } else {
            file[m.at % file.size()] = static_cast<char>(file[m.at % file.size()] ^ m.mask);
        }
    }
    ClearScratch();
    WriteScratch("sealed", file);
    static mg::hostsim::Host* host = new mg::hostsim::Host();
    const CallResult r = host->Call("UNSEALFILE", {Value::Of(ScratchFile("sealed")), Value::Of(ScratchFile("opened")),
                                                   Value::Of(passphrase ? "password" : "# key\n" + kIdentity)});
    std::string opened;
    const bool exists = ReadScratch("opened", opened);
    if (file == original) {
        if (!r.ok() || !exists || opened != plain) Fail("an untouched file did not open: " + r.message);
    } else {
        if (r.ok()) Fail("a changed file opened");
        if (r.message.rfind("SealFile ERROR: ", 0) != 0) Fail("foreign error: " + r.message);
        if (exists) Fail("an output exists after a refused file");
    }
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(std::filesystem::path(ScratchFile("x")).parent_path()))
        ++files;
    if (files != (r.ok() ? 2u : 1u)) Fail("a temporary file was left behind");
    return 0;
}
