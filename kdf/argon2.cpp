#include "kdf/argon2.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "cpu/secure_wipe.h"
#include "digest/blake2b.h"
#include "digest/digest_util.h"
#include "kdf/argon2_memory.h"

namespace mg {
namespace {

constexpr std::size_t kBlockBytes = sizeof(Argon2Block);
constexpr std::uint32_t kSlices = 4;
constexpr std::size_t kAddressesPerBlock = Argon2Block::kWords;

void UpdateLe32(CBlake2b& h, std::uint32_t v) {
    unsigned char b[4];
    StoreLe32(b, v);
    h.Update(b, sizeof b);
}

void UpdateSized(CBlake2b& h, std::span<const unsigned char> data) {
    UpdateLe32(h, static_cast<std::uint32_t>(data.size()));
    if (!data.empty()) h.Update(data.data(), data.size());
}

void LoadBlock(Argon2Block& block, const unsigned char* bytes) {
    for (std::size_t k = 0; k < Argon2Block::kWords; ++k) {
        std::uint64_t w = 0;
        for (int i = 7; i >= 0; --i) w = (w << 8) | bytes[8 * k + static_cast<std::size_t>(i)];
        block.v[k] = w;
    }
}

void StoreBlock(unsigned char* bytes, const Argon2Block& block) {
    for (std::size_t k = 0; k < Argon2Block::kWords; ++k)
        for (int i = 0; i < 8; ++i) bytes[8 * k + static_cast<std::size_t>(i)] = static_cast<unsigned char>(block.v[k] >> (8 * i));
}

// One pass over one lane's segment of one slice.
class SegmentFiller {
public:
    SegmentFiller(const CArgon2::Parameters& p, Argon2FillFn fill, CArgon2Memory& memory, std::size_t segmentLength)
        : m_p(p), m_fill(fill), m_memory(memory), m_segment(segmentLength), m_lane(4 * segmentLength) {}

    void Fill(std::uint32_t pass, std::uint32_t slice, std::uint32_t lane) {
        const bool independent = m_p.type == CArgon2::Type::kI ||
                                 (m_p.type == CArgon2::Type::kId && pass == 0 && slice < kSlices / 2);
        Argon2Block input{};
        Argon2Block addresses{};
        if (independent) {
            input.v[0] = pass;
            input.v[1] = lane;
            input.v[2] = slice;
            input.v[3] = m_memory.Blocks();
            input.v[4] = m_p.passes;
            input.v[5] = static_cast<std::uint64_t>(m_p.type);
        }
        // The first two blocks of each lane come from the pre-hash.
        const std::size_t start = pass == 0 && slice == 0 ? 2 : 0;
        if (independent && start != 0) NextAddresses(input, addresses);
        const bool withXor = m_p.version != CArgon2::kVersion10 && pass != 0;
        std::size_t current = lane * m_lane + slice * m_segment + start;
        for (std::size_t index = start; index < m_segment; ++index, ++current) {
            const std::size_t previous = current % m_lane == 0 ? current + m_lane - 1 : current - 1;
            std::uint64_t pseudo;
            if (independent) {
                if (index % kAddressesPerBlock == 0) NextAddresses(input, addresses);
                pseudo = addresses.v[index % kAddressesPerBlock];
            } else {
                pseudo = m_memory[previous].v[0];
            }
            std::uint32_t refLane = static_cast<std::uint32_t>((pseudo >> 32) % m_p.lanes);
            if (pass == 0 && slice == 0) refLane = lane;
            const std::size_t refIndex =
                ReferenceIndex(pass, slice, index, static_cast<std::uint32_t>(pseudo), refLane == lane);
            m_fill(m_memory[previous], m_memory[refLane * m_lane + refIndex], m_memory[current], withXor);
        }
        SecureWipeObject(addresses);
    }

private:
    void NextAddresses(Argon2Block& input, Argon2Block& addresses) const {
        static const Argon2Block zero{};
        ++input.v[6];
        m_fill(zero, input, addresses, false);
        m_fill(zero, addresses, addresses, false);
    }

    // RFC 9106, section 3.4.1.2: the blocks this one may refer to, and the
    // biased choice of one of them.
    std::size_t ReferenceIndex(std::uint32_t pass, std::uint32_t slice, std::size_t index, std::uint32_t j1,
                               bool sameLane) const {
        std::size_t area;
        std::size_t startPosition = 0;
        if (pass == 0) {
            if (slice == 0) area = index - 1;
            else if (sameLane) area = slice * m_segment + index - 1;
            else area = slice * m_segment - (index == 0 ? 1 : 0);
        } else {
            if (sameLane) area = m_lane - m_segment + index - 1;
            else area = m_lane - m_segment - (index == 0 ? 1 : 0);
            if (slice != kSlices - 1) startPosition = (slice + 1) * m_segment;
        }
        std::uint64_t x = static_cast<std::uint64_t>(j1) * j1 >> 32;
        const std::uint64_t y = static_cast<std::uint64_t>(area) * x >> 32;
        const std::uint64_t relative = area - 1 - y;
        return static_cast<std::size_t>((startPosition + relative) % m_lane);
    }

    const CArgon2::Parameters& m_p;
    Argon2FillFn m_fill;
    CArgon2Memory& m_memory;
    std::size_t m_segment;
    std::size_t m_lane;
};

}  // namespace

void Argon2HPrime(unsigned char* out, std::size_t outLength, const unsigned char* in, std::size_t inLength) {
    unsigned char prefix[4];
    StoreLe32(prefix, static_cast<std::uint32_t>(outLength));
    if (outLength <= CBlake2b::kMaxOutput) {
        CBlake2b h(outLength);
        h.Update(prefix, sizeof prefix);
        h.Update(in, inLength);
        h.Final(out);
        return;
    }
    // Chained 64-byte digests of which the first halves are kept.
    unsigned char v[CBlake2b::kMaxOutput];
    ScopedWipe wipeV(v);
    {
        CBlake2b h(sizeof v);
        h.Update(prefix, sizeof prefix);
        h.Update(in, inLength);
        h.Final(v);
    }
    std::memcpy(out, v, 32);
    out += 32;
    outLength -= 32;
    while (outLength > CBlake2b::kMaxOutput) {
        CBlake2b::Hash(v, sizeof v, v, sizeof v);
        std::memcpy(out, v, 32);
        out += 32;
        outLength -= 32;
    }
    CBlake2b::Hash(v, outLength, v, sizeof v);
    std::memcpy(out, v, outLength);
}

CArgon2::CArgon2(const Parameters& parameters, Argon2FillFn fill)
    : m_parameters(parameters), m_pFill(fill != nullptr ? fill : ChooseArgon2Kernel(Cpu())) {
    const Parameters& p = parameters;
    if (p.lanes < 1 || p.lanes > 0xFFFFFF || p.passes < 1 || p.memoryKiB / 8 < p.lanes ||
        (p.version != kVersion10 && p.version != kVersion13) || static_cast<std::uint32_t>(p.type) > 2)
        throw std::invalid_argument("Argon2 parameters out of range");
    m_iSegmentLength = p.memoryKiB / (kSlices * p.lanes);
    m_iLaneLength = kSlices * m_iSegmentLength;
}

void CArgon2::Hash(const Inputs& inputs, unsigned char* tag, std::size_t tagLength) const {
    if (tagLength < 4 || tagLength > 0xFFFFFFFFu || inputs.salt.size() < 8)
        throw std::invalid_argument("Argon2 tag or salt too short");
    const Parameters& p = m_parameters;
    CArgon2Memory memory(MemoryBlocks());

    // H0, followed by room for the block number and the lane.
    unsigned char seed[CBlake2b::kMaxOutput + 8];
    ScopedWipe wipeSeed(seed);
    {
        CBlake2b h(CBlake2b::kMaxOutput);
        UpdateLe32(h, p.lanes);
        UpdateLe32(h, static_cast<std::uint32_t>(tagLength));
        UpdateLe32(h, p.memoryKiB);
        UpdateLe32(h, p.passes);
        UpdateLe32(h, p.version);
        UpdateLe32(h, static_cast<std::uint32_t>(p.type));
        UpdateSized(h, inputs.password);
        UpdateSized(h, inputs.salt);
        UpdateSized(h, inputs.secret);
        UpdateSized(h, inputs.associatedData);
        h.Final(seed);
    }
    unsigned char bytes[kBlockBytes];
    ScopedWipe wipeBytes(bytes);
    for (std::uint32_t lane = 0; lane < p.lanes; ++lane) {
        for (std::uint32_t k = 0; k < 2; ++k) {
            StoreLe32(seed + 64, k);
            StoreLe32(seed + 68, lane);
            Argon2HPrime(bytes, kBlockBytes, seed, sizeof seed);
            LoadBlock(memory[lane * m_iLaneLength + k], bytes);
        }
    }

    SegmentFiller filler(p, m_pFill, memory, m_iSegmentLength);
    for (std::uint32_t pass = 0; pass < p.passes; ++pass)
        for (std::uint32_t slice = 0; slice < kSlices; ++slice)
            for (std::uint32_t lane = 0; lane < p.lanes; ++lane) filler.Fill(pass, slice, lane);

    Argon2Block last = memory[m_iLaneLength - 1];
    for (std::uint32_t lane = 1; lane < p.lanes; ++lane) {
        const Argon2Block& b = memory[lane * m_iLaneLength + m_iLaneLength - 1];
        for (std::size_t k = 0; k < Argon2Block::kWords; ++k) last.v[k] ^= b.v[k];
    }
    StoreBlock(bytes, last);
    SecureWipeObject(last);
    Argon2HPrime(tag, tagLength, bytes, sizeof bytes);
}

}  // namespace mg
