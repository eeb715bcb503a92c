// The age parsers on arbitrary bytes: canonical base64, the armor, the header
// and the stanzas. Checked: every failure is one of the library's own errors;
// whatever base64 or armor decodes encodes back to the same text; a file that
// parses opens or fails as a whole, never halfway.
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "age/age_error.h"
#include "age/age_file.h"
#include "age/age_header.h"
#include "age/armor.h"
#include "encoding/base64.h"
#include "fuzz/fuzz_input.h"

namespace mg::fuzz {
namespace {

const std::string kIdentity = "AGE-SECRET-KEY-1GFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPQ4EGAEX";

void Base64Case(const std::string& text) {
    std::vector<unsigned char> bytes;
    if (Base64::DecodeRaw(text, bytes) && Base64::Encode(bytes.data(), bytes.size(), false) != text)
        Fail("raw base64 accepted a text that is not canonical");
    if (Base64::DecodePadded(text, bytes) && Base64::Encode(bytes.data(), bytes.size(), true) != text)
        Fail("padded base64 accepted a text that is not canonical");
}

void ArmorCase(const std::string& text) {
    std::vector<unsigned char> binary;
    try {
        binary = age::Armor::Decode(text);
    } catch (const age::CAgeError& e) {
        if (e.Failure() != age::AgeFailure::kNotAge) Fail(std::string("armor failed with ") + e.what());
        return;
    }
    if (age::Armor::Decode(age::Armor::Encode(binary.data(), binary.size())) != binary) Fail("armor round trip");
}

// A scrypt stanza may ask for up to 2^22 * 1 KiB: fine for a host, too slow
// for a fuzzer. Such inputs stop after parsing.
bool CheapToOpen(const std::string& file) {
    std::istringstream in(file);
    try {
        const age::CAgeHeader header = age::CAgeHeader::Read(in);
        for (const age::AgeStanza& s : header.Stanzas()) {
            if (s.args[0] == "scrypt" && !(s.args.size() == 3 && s.args[2].size() == 1)) return false;
        }
    } catch (const age::CAgeError&) {
    }
    return file.find("-----BEGIN") == std::string::npos || file.find("scrypt") == std::string::npos;
}

void FileCase(const std::string& file, const std::string& key) {
    if (!CheapToOpen(file)) return;
    std::istringstream in(file);
    std::ostringstream out;
    try {
        age::CAgeFile::OpenStream(in, out, key);
    } catch (const age::CAgeError& e) {
        switch (e.Failure()) {
            case age::AgeFailure::kNotAge:
            case age::AgeFailure::kWorkFactor:
            case age::AgeFailure::kNoMatch:
            case age::AgeFailure::kBadIdentity:
                if (!out.str().empty()) Fail("plaintext written before the header authenticated");
                break;
            case age::AgeFailure::kDamaged:
                break;
            default:
                Fail(std::string("opening failed with ") + e.what());
        }
    }
}

}  // namespace
}  // namespace mg::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mg::fuzz::FuzzInput in(data, size);
    const int use = in.Byte() % 3;
    const std::string rest = in.Rest();
    mg::fuzz::Base64Case(rest);
    mg::fuzz::ArmorCase(rest);
    mg::fuzz::FileCase(rest, use == 0 ? "password" : use == 1 ? mg::fuzz::kIdentity : "# comment\n" + mg::fuzz::kIdentity);
    return 0;
}
