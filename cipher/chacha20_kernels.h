// The ChaCha20 block function for this CPU: `blocks` consecutive keystream
// blocks from the state, counters state[12], state[12]+1, ...; the state is
// left as it is.
#ifndef MG_CIPHER_CHACHA20_KERNELS_H
#define MG_CIPHER_CHACHA20_KERNELS_H

#include <cstddef>
#include <cstdint>

namespace mg {

// The widest path a call may take, so that tests can compare each with the
// portable one on any CPU that has it.
enum class ChaCha20Tier { kPortable = 0, kSse2 = 1, kAvx2 = 2, kAvx512 = 3, kBest = 3 };

void ChaCha20Blocks(const std::uint32_t* state, unsigned char* out, std::size_t blocks);
// `blocks` keystream blocks XORed onto `in` into `out` (which may be `in`);
// with `in` null, the keystream itself.
void ChaCha20Xor(const std::uint32_t* state, const unsigned char* in, unsigned char* out, std::size_t blocks);
void ChaCha20XorLimited(const std::uint32_t* state, const unsigned char* in, unsigned char* out, std::size_t blocks,
                        ChaCha20Tier limit);

}  // namespace mg

#endif
