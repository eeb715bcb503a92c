#include "cipher/chacha20_kernels.h"

#include "cipher/chacha20.h"

namespace mg {

void ChaCha20Blocks(const std::uint32_t* state, unsigned char* out, std::size_t blocks) {
    CChaCha20::PortableBlocks(state, out, blocks);
}

}  // namespace mg
