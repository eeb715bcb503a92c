#include "age/age_file.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "age/age_error.h"
#include "age/age_header.h"
#include "age/age_stream.h"
#include "age/armor.h"
#include "age/atomic_output.h"
#include "fileio/file_identity.h"
#include "cpu/secure_wipe.h"

namespace mg::age {

namespace {

constexpr std::size_t kFileKey = CAgeHeader::kFileKeyLength;

// An opened file up to its payload: the header read and authenticated, the
// file key found. Armored files are decoded in memory first.
class CAgeReader {
public:
    CAgeReader(std::istream& in, const std::string& key) : m_pSource(&in) {
        SkipToStart(in);
        const CAgeHeader header = CAgeHeader::Read(*m_pSource);
        CAgeRecipients::Unwrap(header.Stanzas(), key, m_aFileKey);
        if (!header.MacMatches(m_aFileKey)) throw CAgeError(AgeFailure::kNotAge);
    }
    ~CAgeReader() { SecureWipeObject(m_aFileKey); }
    CAgeReader(const CAgeReader&) = delete;
    CAgeReader& operator=(const CAgeReader&) = delete;

    void Payload(std::ostream& out) { CAgeStream::Open(*m_pSource, out, m_aFileKey); }

private:
    void SkipToStart(std::istream& in) {
        std::string start;
        for (;;) {
            const int c = in.peek();
            if (c == std::char_traits<char>::eof()) break;
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
                start += static_cast<char>(c);
                break;
            }
            start += static_cast<char>(in.get());
        }
        if (in.bad()) throw CAgeError(AgeFailure::kRead);
        if (!Armor::LooksArmored(start)) {
            if (start.size() > 1) throw CAgeError(AgeFailure::kNotAge);  // whitespace before a binary header
            return;
        }
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) throw CAgeError(AgeFailure::kRead);
        const std::vector<unsigned char> binary = Armor::Decode(text);
        m_pArmored = std::make_unique<std::istringstream>(std::string(binary.begin(), binary.end()));
        m_pSource = m_pArmored.get();
    }

    std::istream* m_pSource;
    std::unique_ptr<std::istringstream> m_pArmored;
    unsigned char m_aFileKey[kFileKey] = {};
};

void RefuseSameFile(const std::string& inName, const std::string& outName) {
    if (inName == outName || SameExistingFile(inName.c_str(), outName.c_str()))
        throw CAgeError(AgeFailure::kSameFile, inName);
}

// Failures found while reading concern the input file: they get its name.
[[noreturn]] void Rethrow(const CAgeError& e, const std::string& inName, const std::string& outName) {
    switch (e.Failure()) {
    case AgeFailure::kRead:
    case AgeFailure::kNotAge:
    case AgeFailure::kWorkFactor:
    case AgeFailure::kNoMatch:
    case AgeFailure::kDamaged: throw CAgeError(e.Failure(), inName);
    case AgeFailure::kWrite: throw CAgeError(e.Failure(), outName);
    default: throw;
    }
}

void OpenInput(std::ifstream& in, const std::string& name) {
    in.open(name, std::ios::binary | std::ios::in);
    if (!in.is_open()) throw CAgeError(AgeFailure::kOpen, name);
}

std::vector<AgeStanza> Stanzas(const std::string& key, bool recipients, const unsigned char* fileKey,
                               const RandomFill& random, unsigned workFactor) {
    std::vector<AgeStanza> stanzas;
    if (recipients) {
        for (const CAgeRecipients::Key& r : CAgeRecipients::ParseRecipients(key))
            stanzas.push_back(CAgeRecipients::WrapX25519(fileKey, r, random));
    } else {
        if (key.empty()) throw CAgeError(AgeFailure::kEmptyPassphrase);
        stanzas.push_back(CAgeRecipients::WrapScrypt(fileKey, key, workFactor, random));
    }
    return stanzas;
}

void SealTo(std::istream& in, std::ostream& out, const std::vector<AgeStanza>& stanzas, const unsigned char* fileKey,
            const RandomFill& random) {
    const std::string header = CAgeHeader::Write(stanzas, fileKey);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    if (!out) throw CAgeError(AgeFailure::kWrite);
    CAgeStream::Seal(in, out, fileKey, random);
}

}  // namespace

void CAgeFile::SealStream(std::istream& in, std::ostream& out, const std::string& key, bool recipients,
                          const RandomFill& random, unsigned workFactor) {
    unsigned char fileKey[kFileKey];
    ScopedWipe wipe(fileKey);
    random(fileKey, sizeof fileKey);
    SealTo(in, out, Stanzas(key, recipients, fileKey, random, workFactor), fileKey, random);
}

void CAgeFile::OpenStream(std::istream& in, std::ostream& out, const std::string& key) {
    CAgeReader reader(in, key);
    reader.Payload(out);
}

void CAgeFile::Seal(const std::string& inName, const std::string& outName, const std::string& key, bool recipients,
                    const RandomFill& random, unsigned workFactor) {
    unsigned char fileKey[kFileKey];
    ScopedWipe wipe(fileKey);
    random(fileKey, sizeof fileKey);
    // The key is checked before any file is touched.
    const std::vector<AgeStanza> stanzas = Stanzas(key, recipients, fileKey, random, workFactor);
    RefuseSameFile(inName, outName);
    std::ifstream in;
    OpenInput(in, inName);
    CAtomicOutput out(outName);
    if (!out.IsOpen()) throw CAgeError(AgeFailure::kOpen, outName);
    try {
        SealTo(in, out.Stream(), stanzas, fileKey, random);
    } catch (const CAgeError& e) {
        Rethrow(e, inName, outName);
    }
    if (!out.Commit()) throw CAgeError(AgeFailure::kWrite, outName);
}

void CAgeFile::Open(const std::string& inName, const std::string& outName, const std::string& key) {
    RefuseSameFile(inName, outName);
    std::ifstream in;
    OpenInput(in, inName);
    try {
        // The output is only created once the key has opened the header.
        CAgeReader reader(in, key);
        CAtomicOutput out(outName);
        if (!out.IsOpen()) throw CAgeError(AgeFailure::kOpen, outName);
        reader.Payload(out.Stream());
        if (!out.Commit()) throw CAgeError(AgeFailure::kWrite, outName);
    } catch (const CAgeError& e) {
        Rethrow(e, inName, outName);
    }
}

}  // namespace mg::age
