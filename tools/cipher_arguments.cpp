#include "tools/cipher_arguments.h"

#include <cctype>
#include <optional>
#include <string>

#include "tools/names.h"
#include "tools/operands.h"
#include "tools/usage_error.h"

namespace mg::tool {
namespace {

using hostsim::Value;

struct CipherName {
    const char* name;
    std::int32_t type;
    std::int32_t keySize;    // 0: not fixed by the name
    std::int32_t blockSize;  // 0: not fixed by the name
};

// aes128/192/256 are Rijndael with a 16-byte block, which the library's
// default (a 32-byte block) is not.
constexpr CipherName kCiphers[] = {
    {"rijndael", 2, 0, 0}, {"aes128", 0, 16, 16}, {"aes192", 1, 24, 16}, {"aes256", 2, 32, 16},
    {"blowfish", 4, 0, 0}, {"tea", 8, 0, 0},      {"xtea", 8, 0, 0},     {"rc4", 1024, 0, 0},
};

CipherName ParseCipher(const std::string& text) {
    const std::string folded = Fold(text);
    for (const CipherName& c : kCiphers) {
        if (folded == c.name) return c;
    }
    if (!text.empty() && (std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-' || text[0] == '+')) {
        return {"", ParseInt32(text, "cipher type"), 0, 0};
    }
    throw UsageError("unknown cipher type '" + text +
                     "'; use a number or one of: rijndael, aes128, aes192, aes256, blowfish, tea, rc4");
}

// The key size the library takes when nKeySize is absent.
std::int32_t KeySizeForType(std::int32_t type) {
    if (type == 0) return 16;
    if (type == 1) return 24;
    return 32;
}

// A size fixed by the cipher's name or given as an option; absent when neither.
std::optional<std::int32_t> Size(const CommandLine& line, const char* option, std::int32_t fixed,
                                 const CipherName& cipher) {
    const auto given = line.Value(option);
    if (!given) return fixed != 0 ? std::optional<std::int32_t>(fixed) : std::nullopt;
    const std::int32_t v = ParseInt32(*given, std::string("--") + option);
    if (fixed != 0 && v != fixed) {
        throw UsageError(std::string(cipher.name) + " fixes --" + option + " to " + std::to_string(fixed) +
                         "; use --type rijndael for other sizes");
    }
    return v;
}

}  // namespace

const char* CipherArguments::Help() {
    return "Ciphers: rijndael (type 2: 32-byte key, 32-byte block), aes128/aes192/aes256 (Rijndael with a\n"
           "16/24/32-byte key and a 16-byte block: AES), blowfish (4), tea (8, the XTEA block function),\n"
           "rc4 (1024; no mode, padding or IV), or a number: 0 and 1 are Rijndael with a 16- and a 24-byte\n"
           "key, and any number the library does not know means Rijndael. Keys are repeated or cut to the\n"
           "cipher's key size; Blowfish and TEA always work on 8-byte blocks.";
}

std::vector<OptionInfo> CipherArguments::Options() {
    std::vector<OptionInfo> options = {
        {"type", 't', "TYPE", "cipher, by name or number (default 2 = rijndael, 32-byte key and block)"},
        {"mode", 'm', "MODE", "ecb (0), cbc (1), cfb (2), ofb (3) (default ecb; other numbers mean ecb)"},
        {"padding", 'p', "PAD",
         "zeros (0), spaces (1), count/pkcs7 (2), zeros-count/x923 (3), random-count/iso10126 (4) "
         "(default zeros; other numbers mean zeros); added only when the data is not a whole number of blocks"},
        {"key-size", 0, "N", "Rijndael key size 16, 24 or 32 (default by type: 0 gives 16, 1 gives 24, others 32)"},
        {"block-size", 0, "N", "Rijndael block size 16, 24 or 32 (default 32; other values mean 32)"},
    };
    std::vector<OptionInfo> iv = Operands::BytesOptions("iv", 0, "the IV");
    iv[0].help += " (default all zero bytes; cut or zero-extended to the block size)";
    options.insert(options.end(), iv.begin(), iv.end());
    return options;
}

std::vector<Value> CipherArguments::From(const CommandLine& line) {
    const auto typeText = line.Value("type");
    const CipherName cipher = typeText ? ParseCipher(*typeText) : CipherName{"rijndael", 2, 0, 0};
    const std::optional<std::string> iv = Operands::Bytes(line, "iv");

    const std::int32_t type = cipher.type;
    const std::int32_t mode = line.Has("mode") ? NameTable::Modes().Parse(*line.Value("mode")) : 0;
    const std::int32_t padding = line.Has("padding") ? NameTable::Paddings().Parse(*line.Value("padding")) : 0;
    const std::optional<std::int32_t> keySize = Size(line, "key-size", cipher.keySize, cipher);
    const std::optional<std::int32_t> blockSize = Size(line, "block-size", cipher.blockSize, cipher);

    int last = 0;  // how many of the six arguments to pass
    if (typeText) last = 1;
    if (line.Has("mode")) last = 2;
    if (line.Has("padding")) last = 3;
    if (keySize) last = 4;
    if (blockSize) last = 5;
    if (iv) last = 6;

    std::vector<Value> values;
    if (last >= 1) values.push_back(Value::Int(type));
    if (last >= 2) values.push_back(Value::Int(mode));
    if (last >= 3) values.push_back(Value::Int(padding));
    if (last >= 4) values.push_back(Value::Int(keySize.value_or(KeySizeForType(type))));
    if (last >= 5) values.push_back(Value::Int(blockSize.value_or(32)));
    if (last >= 6) values.push_back(Value::Of(*iv));
    return values;
}

}  // namespace mg::tool
