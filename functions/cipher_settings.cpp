#include "functions/cipher_settings.h"

namespace mg::functions {
namespace {
bool IsRijndaelSize(std::int32_t n) { return n == 16 || n == 24 || n == 32; }
}  // namespace

void CipherSettings::Fill(const Arguments& args, int first) {
    const int typeAt = first, modeAt = first + 1, paddingAt = first + 2, keySizeAt = first + 3,
              blockSizeAt = first + 4;
    type = args.IntegerOr(typeAt, kTypeRijndael);

    const std::int32_t m = args.IntegerOr(modeAt, 0);
    mode = m >= 0 && m <= 3 ? m : 0;
    const std::int32_t p = args.IntegerOr(paddingAt, 0);
    padding = p >= 0 && p <= 4 ? p : 0;

    if (args.Given(keySizeAt)) {
        const std::int32_t k = args.Integer(keySizeAt);
        keySize = IsRijndaelSize(k) ? k : 32;
    } else {
        keySize = type == 0 ? 16 : type == 1 ? 24 : 32;
    }

    if (IsBlowfish() || IsTea()) {
        blockSize = 8;
    } else {
        const std::int32_t b = args.IntegerOr(blockSizeAt, 32);
        blockSize = IsRijndaelSize(b) ? b : 32;
    }
}

}  // namespace mg::functions
