#include "age/age_recipients.h"

#include <cstring>

#include "age/age_error.h"
#include "encoding/base64.h"
#include "age/bech32.h"
#include "cipher/chacha20_poly1305.h"
#include "cipher/x25519.h"
#include "cpu/secure_wipe.h"
#include "kdf/hkdf.h"
#include "kdf/scrypt.h"

namespace mg::age {

namespace {

constexpr char kIdentityHrp[] = "age-secret-key-";
constexpr char kRecipientHrp[] = "age";
constexpr char kX25519Info[] = "age-encryption.org/v1/X25519";
constexpr char kScryptLabel[] = "age-encryption.org/v1/scrypt";
constexpr std::size_t kFileKey = CAgeHeader::kFileKeyLength;
constexpr std::size_t kBody = kFileKey + CChaCha20Poly1305::kTagLength;
constexpr unsigned char kZeroNonce[CChaCha20Poly1305::kNonceLength] = {};

using Key = CAgeRecipients::Key;

// Identities as parsed from a key text, wiped when done.
struct Identities {
    std::vector<Key> keys;
    ~Identities() {
        for (Key& k : keys) SecureWipeObject(k);
    }
};

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool DecodeKey(const std::string& text, const char* hrp, Key& key) {
    std::string foundHrp;
    std::vector<unsigned char> data;
    const bool ok = Bech32::Decode(text, foundHrp, data) && foundHrp == hrp && data.size() == key.size();
    if (ok) std::memcpy(key.data(), data.data(), key.size());
    SecureWipe(data.data(), data.size());
    return ok;
}

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (b < e && blank(s[b])) ++b;
    while (e > b && blank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

void ParseIdentities(const std::string& text, Identities& out) {
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t lf = text.find('\n', from);
        if (lf == std::string::npos) lf = text.size();
        std::string line = Trim(text.substr(from, lf - from));
        from = lf + 1;
        if (line.empty() || line[0] == '#') continue;
        Key key;
        const bool ok = DecodeKey(line, kIdentityHrp, key);
        SecureWipe(line.data(), line.size());
        if (!ok) throw CAgeError(AgeFailure::kBadIdentity);
        out.keys.push_back(key);
        SecureWipeObject(key);
    }
    if (out.keys.empty()) throw CAgeError(AgeFailure::kBadIdentity);
}

bool DecodeExact(const std::string& text, std::size_t length, std::vector<unsigned char>& out) {
    return Base64::DecodeRaw(text, out) && out.size() == length;
}

bool OpenBody(const unsigned char* wrapKey, const std::vector<unsigned char>& body, unsigned char* fileKey) {
    const CChaCha20Poly1305 aead(wrapKey);
    return aead.Open(kZeroNonce, nullptr, 0, body.data(), body.size(), fileKey);
}

// A decimal without sign or leading zero; its value when at most 22,
// otherwise kWorkFactor for numbers and kNotAge for anything else.
unsigned WorkFactor(const std::string& text) {
    if (text.empty() || text[0] < '1' || text[0] > '9') throw CAgeError(AgeFailure::kNotAge);
    for (char c : text)
        if (c < '0' || c > '9') throw CAgeError(AgeFailure::kNotAge);
    if (text.size() > 2) throw CAgeError(AgeFailure::kWorkFactor);
    const unsigned n = static_cast<unsigned>(std::stoul(text));
    if (n > CAgeRecipients::kMaxWorkFactor) throw CAgeError(AgeFailure::kWorkFactor);
    return n;
}

void UnwrapScrypt(const AgeStanza& stanza, const std::string& passphrase, unsigned char* fileKey) {
    std::vector<unsigned char> salt;
    if (stanza.args.size() != 3 || !DecodeExact(stanza.args[1], 16, salt)) throw CAgeError(AgeFailure::kNotAge);
    const unsigned workFactor = WorkFactor(stanza.args[2]);
    if (stanza.body.size() != kBody) throw CAgeError(AgeFailure::kNotAge);
    std::vector<unsigned char> fullSalt(kScryptLabel, kScryptLabel + std::strlen(kScryptLabel));
    fullSalt.insert(fullSalt.end(), salt.begin(), salt.end());
    unsigned char wrapKey[32];
    ScopedWipe wipe(wrapKey);
    Scrypt(reinterpret_cast<const unsigned char*>(passphrase.data()), passphrase.size(), fullSalt.data(),
           fullSalt.size(), workFactor, 8, 1, wrapKey, sizeof wrapKey);
    if (!OpenBody(wrapKey, stanza.body, fileKey)) throw CAgeError(AgeFailure::kNoMatch);
}

void X25519WrapKey(const unsigned char* shared, const unsigned char* share, const unsigned char* recipient,
                   unsigned char* wrapKey) {
    unsigned char salt[64];
    std::memcpy(salt, share, 32);
    std::memcpy(salt + 32, recipient, 32);
    HkdfSha256(shared, 32, salt, sizeof salt, reinterpret_cast<const unsigned char*>(kX25519Info),
               std::strlen(kX25519Info), wrapKey, 32);
}

}  // namespace

std::string CAgeRecipients::NewIdentity(const RandomFill& random) {
    Key key;
    ScopedWipe wipe(key);
    random(key.data(), key.size());
    std::vector<unsigned char> data(key.begin(), key.end());
    std::string text = Upper(Bech32::Encode(kIdentityHrp, data));
    SecureWipe(data.data(), data.size());
    return text;
}

std::string CAgeRecipients::RecipientOf(const std::string& identity) {
    Key secret;
    ScopedWipe wipe(secret);
    if (!DecodeKey(Trim(identity), kIdentityHrp, secret)) throw CAgeError(AgeFailure::kBadIdentity);
    Key pub;
    CX25519::PublicKey(secret.data(), pub.data());
    return Bech32::Encode(kRecipientHrp, std::vector<unsigned char>(pub.begin(), pub.end()));
}

std::vector<Key> CAgeRecipients::ParseRecipients(const std::string& text) {
    std::vector<Key> keys;
    std::string word;
    auto flush = [&] {
        if (word.empty()) return;
        Key key;
        if (!DecodeKey(word, kRecipientHrp, key)) throw CAgeError(AgeFailure::kBadRecipient, word);
        keys.push_back(key);
        word.clear();
    };
    for (char c : text) {
        if (c == ' ' || c == ',' || c == '\n' || c == '\r' || c == '\t') {
            flush();
        } else {
            word += c;
        }
    }
    flush();
    if (keys.empty()) throw CAgeError(AgeFailure::kBadRecipient, text);
    return keys;
}

AgeStanza CAgeRecipients::WrapX25519(const unsigned char* fileKey, const Key& recipient, const RandomFill& random) {
    unsigned char ephemeral[32], share[32], shared[32], wrapKey[32];
    ScopedWipe wipeEphemeral(ephemeral);
    ScopedWipe wipeShared(shared);
    ScopedWipe wipeWrap(wrapKey);
    random(ephemeral, sizeof ephemeral);
    CX25519::PublicKey(ephemeral, share);
    // A recipient of small order gives no secret at all; nobody could open the file.
    if (!CX25519::SharedSecret(ephemeral, recipient.data(), shared))
        throw CAgeError(AgeFailure::kBadRecipient, Bech32::Encode(kRecipientHrp, {recipient.begin(), recipient.end()}));
    X25519WrapKey(shared, share, recipient.data(), wrapKey);
    AgeStanza stanza;
    stanza.args = {"X25519", Base64::Encode(share, sizeof share, false)};
    stanza.body.resize(kBody);
    CChaCha20Poly1305(wrapKey).Seal(kZeroNonce, nullptr, 0, fileKey, kFileKey, stanza.body.data());
    return stanza;
}

AgeStanza CAgeRecipients::WrapScrypt(const unsigned char* fileKey, const std::string& passphrase, unsigned workFactor,
                                     const RandomFill& random) {
    unsigned char salt[16];
    random(salt, sizeof salt);
    std::vector<unsigned char> fullSalt(kScryptLabel, kScryptLabel + std::strlen(kScryptLabel));
    fullSalt.insert(fullSalt.end(), salt, salt + sizeof salt);
    unsigned char wrapKey[32];
    ScopedWipe wipe(wrapKey);
    Scrypt(reinterpret_cast<const unsigned char*>(passphrase.data()), passphrase.size(), fullSalt.data(),
           fullSalt.size(), workFactor, 8, 1, wrapKey, sizeof wrapKey);
    AgeStanza stanza;
    stanza.args = {"scrypt", Base64::Encode(salt, sizeof salt, false), std::to_string(workFactor)};
    stanza.body.resize(kBody);
    CChaCha20Poly1305(wrapKey).Seal(kZeroNonce, nullptr, 0, fileKey, kFileKey, stanza.body.data());
    return stanza;
}

void CAgeRecipients::Unwrap(const std::vector<AgeStanza>& stanzas, const std::string& key, unsigned char* fileKey) {
    for (const AgeStanza& stanza : stanzas) {
        if (stanza.args[0] != "scrypt") continue;
        // A passphrase file has exactly one stanza: another one could have been
        // added by anyone, without the passphrase.
        if (stanzas.size() != 1) throw CAgeError(AgeFailure::kNotAge);
        UnwrapScrypt(stanza, key, fileKey);
        return;
    }

    // Only stanzas of types this library knows can open; with none of them the
    // key's form does not matter.
    bool anyX25519 = false;
    for (const AgeStanza& stanza : stanzas) anyX25519 |= stanza.args[0] == "X25519";
    if (!anyX25519) throw CAgeError(AgeFailure::kNoMatch);
    Identities identities;
    ParseIdentities(key, identities);
    std::vector<Key> publics(identities.keys.size());
    for (std::size_t i = 0; i < publics.size(); ++i) CX25519::PublicKey(identities.keys[i].data(), publics[i].data());
    for (const AgeStanza& stanza : stanzas) {
        if (stanza.args[0] != "X25519") continue;
        std::vector<unsigned char> share;
        if (stanza.args.size() != 2 || !DecodeExact(stanza.args[1], 32, share) || stanza.body.size() != kBody)
            throw CAgeError(AgeFailure::kNotAge);
        for (std::size_t i = 0; i < identities.keys.size(); ++i) {
            unsigned char shared[32], wrapKey[32];
            ScopedWipe wipeShared(shared);
            ScopedWipe wipeWrap(wrapKey);
            if (!CX25519::SharedSecret(identities.keys[i].data(), share.data(), shared))
                throw CAgeError(AgeFailure::kNotAge);
            X25519WrapKey(shared, share.data(), publics[i].data(), wrapKey);
            if (OpenBody(wrapKey, stanza.body, fileKey)) return;
        }
    }
    throw CAgeError(AgeFailure::kNoMatch);
}

}  // namespace mg::age
