#include "age/age_header.h"

#include "age/age_error.h"
#include "encoding/base64.h"
#include "cipher/poly1305.h"
#include "cpu/secure_wipe.h"
#include "digest/hmac.h"
#include "kdf/hkdf.h"

namespace mg::age {

namespace {

constexpr char kVersionLine[] = "age-encryption.org/v1";
constexpr std::size_t kColumns = 64;
// No valid header line of the stanza types in use comes near this; a file
// that is not an age file must not make us read it whole into one line.
constexpr std::size_t kMaxLine = 1 << 16;

[[noreturn]] void NotAge() { throw CAgeError(AgeFailure::kNotAge); }

// One line without its LF, which must be there. The raw bytes are kept for the MAC.
std::string ReadLine(std::istream& in, std::string& raw) {
    std::string line;
    for (;;) {
        const int c = in.get();
        if (c == std::char_traits<char>::eof()) {
            if (in.bad()) throw CAgeError(AgeFailure::kRead);
            NotAge();
        }
        if (c == '\n') break;
        if (line.size() >= kMaxLine) NotAge();
        line += static_cast<char>(c);
    }
    raw += line;
    raw += '\n';
    return line;
}

bool IsVchar(char c) { return c >= 0x21 && c <= 0x7e; }

std::vector<std::string> SplitArguments(const std::string& text) {
    std::vector<std::string> args;
    std::string current;
    for (char c : text) {
        if (c == ' ') {
            if (current.empty()) NotAge();
            args.push_back(current);
            current.clear();
        } else {
            if (!IsVchar(c)) NotAge();
            current += c;
        }
    }
    if (current.empty()) NotAge();
    args.push_back(current);
    return args;
}

void HeaderMac(const std::string& macInput, const unsigned char* fileKey, unsigned char* mac) {
    static const unsigned char kInfo[] = {'h', 'e', 'a', 'd', 'e', 'r'};
    unsigned char key[32];
    ScopedWipe wipeKey(key);
    HkdfSha256(fileKey, CAgeHeader::kFileKeyLength, nullptr, 0, kInfo, sizeof kInfo, key, sizeof key);
    CHmac hmac(2);
    hmac.SetKey(key, sizeof key);
    hmac.Update(reinterpret_cast<const unsigned char*>(macInput.data()), macInput.size());
    hmac.Final(mac);
}

}  // namespace

CAgeHeader CAgeHeader::Read(std::istream& in) {
    CAgeHeader header;
    std::string raw;
    if (ReadLine(in, raw) != kVersionLine) NotAge();
    for (;;) {
        const std::size_t lineStart = raw.size();
        const std::string line = ReadLine(in, raw);
        if (line.rfind("---", 0) == 0) {
            if (header.m_oStanzas.empty()) NotAge();
            if (line.size() != 4 + 43 || line[3] != ' ') NotAge();
            if (!Base64::DecodeRaw(std::string_view(line).substr(4), header.m_oMac)) NotAge();
            header.m_sMacInput = raw.substr(0, lineStart + 3);
            return header;
        }
        if (line.rfind("-> ", 0) != 0) NotAge();
        AgeStanza stanza;
        stanza.args = SplitArguments(line.substr(3));
        // Full 64-column lines until a shorter one, which may be empty.
        std::string body;
        for (;;) {
            const std::string bodyLine = ReadLine(in, raw);
            if (bodyLine.size() > kColumns) NotAge();
            body += bodyLine;
            if (bodyLine.size() < kColumns) break;
        }
        if (!Base64::DecodeRaw(body, stanza.body)) NotAge();
        header.m_oStanzas.push_back(std::move(stanza));
    }
}

std::string CAgeHeader::Write(const std::vector<AgeStanza>& stanzas, const unsigned char* fileKey) {
    std::string text = std::string(kVersionLine) + "\n";
    for (const AgeStanza& stanza : stanzas) {
        text += "->";
        for (const std::string& arg : stanza.args) text += " " + arg;
        text += "\n";
        const std::string body = Base64::Encode(stanza.body.data(), stanza.body.size(), false);
        // A body of whole lines still ends in a line shorter than 64: an empty one.
        for (std::size_t at = 0;; at += kColumns) {
            const std::string part = body.substr(at, kColumns);
            text += part + "\n";
            if (part.size() < kColumns) break;
        }
    }
    text += "---";
    unsigned char mac[kMacLength];
    HeaderMac(text, fileKey, mac);
    text += " " + Base64::Encode(mac, sizeof mac, false) + "\n";
    return text;
}

bool CAgeHeader::MacMatches(const unsigned char* fileKey) const {
    unsigned char mac[kMacLength];
    HeaderMac(m_sMacInput, fileKey, mac);
    return m_oMac.size() == kMacLength && TagsEqual(mac, m_oMac.data(), kMacLength);
}

}  // namespace mg::age
