// The age conformance vectors of C2SP's CCTV test kit (npm package cctv-age,
// refreshed by scripts/fetch-age-testkit.sh): every vector of the X25519,
// scrypt, armor, header, stanza, HMAC and stream kinds opens, or fails in the
// way it must. Hybrid (post-quantum) vectors are skipped: that recipient type
// is not built.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#ifdef MG_HAVE_ZLIB
#include <zlib.h>
#endif

#include "age/age_error.h"
#include "age/age_file.h"
#include "digest/sha.h"

namespace mg::age {
namespace {

struct Vector {
    std::string name;
    std::string expect, payload, passphrase;
    std::vector<std::string> identities;
    bool compressed = false;
    std::string file;
};

Vector Load(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Vector v;
    v.name = path.filename().string();
    std::size_t at = 0;
    for (;;) {
        const std::size_t lf = all.find('\n', at);
        const std::string line = all.substr(at, lf - at);
        at = lf + 1;
        if (line.empty()) break;
        const std::size_t colon = line.find(": ");
        const std::string key = line.substr(0, colon), value = line.substr(colon + 2);
        if (key == "expect") v.expect = value;
        if (key == "payload") v.payload = value;
        if (key == "passphrase") v.passphrase = value;
        if (key == "identity") v.identities.push_back(value);
        if (key == "compressed") v.compressed = true;
    }
    v.file = all.substr(at);
    return v;
}

bool Inflate(std::string& data) {
#ifdef MG_HAVE_ZLIB
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    std::string out;
    std::vector<char> buffer(1 << 16);
    z.next_in = reinterpret_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    int rc;
    do {
        z.next_out = reinterpret_cast<Bytef*>(buffer.data());
        z.avail_out = static_cast<uInt>(buffer.size());
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(buffer.data(), buffer.size() - z.avail_out);
    } while (rc == Z_OK);
    inflateEnd(&z);
    data = out;
    return rc == Z_STREAM_END;
#else
    (void)data;
    return false;
#endif
}

std::string Sha256Hex(const std::string& data) {
    CSHA sha(1);
    sha.AddData(reinterpret_cast<const unsigned char*>(data.data()), static_cast<std::int32_t>(data.size()));
    unsigned char digest[32];
    sha.FinalDigest(digest);
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char b : digest) hex += digits[b >> 4], hex += digits[b & 15];
    return hex;
}

// The failures each expectation of the kit may map to.
std::vector<AgeFailure> Allowed(const std::string& expect) {
    if (expect == "no match") return {AgeFailure::kNoMatch};
    if (expect == "payload failure") return {AgeFailure::kDamaged};
    // Header, armor and MAC failures are one message; a work factor above 22
    // is a header failure with a message of its own.
    return {AgeFailure::kNotAge, AgeFailure::kWorkFactor};
}

TEST(AgeTestKit, EveryVectorGivesItsOutcome) {
    int run = 0, skipped = 0;
    for (const auto& entry : std::filesystem::directory_iterator(MG_AGE_TESTKIT_DIR)) {
        if (entry.path().filename() == "SOURCE") continue;
        Vector v = Load(entry.path());
        bool hybrid = v.name.find("hybrid") != std::string::npos;
        for (const std::string& id : v.identities) hybrid |= id.rfind("AGE-SECRET-KEY-PQ-", 0) == 0;
        if (hybrid || (v.compressed && !Inflate(v.file))) {
            ++skipped;
            continue;
        }
        ++run;
        std::string key = v.passphrase;
        for (const std::string& id : v.identities) key += id + "\n";
        std::istringstream in(v.file);
        std::ostringstream out;
        try {
            CAgeFile::OpenStream(in, out, key);
            EXPECT_EQ(v.expect, "success") << v.name << " opened";
            EXPECT_EQ(Sha256Hex(out.str()), v.payload) << v.name;
        } catch (const CAgeError& e) {
            const std::vector<AgeFailure> allowed = Allowed(v.expect);
            EXPECT_NE(std::find(allowed.begin(), allowed.end(), e.Failure()), allowed.end())
                << v.name << " (" << v.expect << "): " << e.what();
            if (v.expect != "payload failure") {
                EXPECT_EQ(out.str(), "") << v.name << ": output before authentication";
            }
        }
    }
    EXPECT_GE(run, 90) << "vectors run; " << skipped << " skipped";
#ifdef MG_HAVE_ZLIB
    EXPECT_LE(skipped, 20);
#endif
}

}  // namespace
}  // namespace mg::age
