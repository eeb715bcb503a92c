// The ChaCha20 block function for this CPU: `blocks` consecutive keystream
// blocks from the state, counters state[12], state[12]+1, ...; the state is
// left as it is.
#ifndef MG_CIPHER_CHACHA20_KERNELS_H
#define MG_CIPHER_CHACHA20_KERNELS_H

#include <cstddef>
#include <cstdint>

namespace mg {

void ChaCha20Blocks(const std::uint32_t* state, unsigned char* out, std::size_t blocks);

}  // namespace mg

#endif
