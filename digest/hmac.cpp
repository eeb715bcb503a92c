#include "digest/hmac.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "cpu/secure_wipe.h"
#include "digest/md5.h"
#include "digest/ripemd.h"
#include "digest/sha.h"

namespace mg {

class CHmac::IEngine {
public:
    virtual ~IEngine() = default;
    virtual void SetKey(const unsigned char* key, std::size_t length) = 0;
    virtual void Update(const unsigned char* data, std::size_t length) = 0;
    virtual void Final(unsigned char* out) = 0;
    virtual std::size_t Length() const = 0;
};

namespace {

constexpr std::size_t kMaxBlock = 128;
constexpr std::size_t kMaxDigest = 64;

// The digest's own class rather than the interface, so that the copies of
// the prepared states are plain member copies and the calls are direct.
template <class Digest>
class Engine final : public CHmac::IEngine {
public:
    template <class... Args>
    explicit Engine(Args... args) : m_inner(args...), m_outer(args...), m_work(args...) {
        SetKey(nullptr, 0);
    }

    void SetKey(const unsigned char* key, std::size_t length) override {
        const std::size_t b = static_cast<std::size_t>(m_work.BlockLength());
        unsigned char block[kMaxBlock] = {};
        ScopedWipe wipeBlock(block);
        if (length > b) {
            m_work.Reset();
            Update(key, length);
            m_work.FinalDigest(block);
        } else if (length != 0) {
            std::memcpy(block, key, length);
        }
        unsigned char pad[kMaxBlock];
        ScopedWipe wipePad(pad);
        for (std::size_t i = 0; i < b; ++i) pad[i] = static_cast<unsigned char>(block[i] ^ 0x36);
        m_inner.Reset();
        m_inner.AddData(pad, static_cast<std::int32_t>(b));
        for (std::size_t i = 0; i < b; ++i) pad[i] = static_cast<unsigned char>(block[i] ^ 0x5C);
        m_outer.Reset();
        m_outer.AddData(pad, static_cast<std::int32_t>(b));
        m_work = m_inner;
    }

    void Update(const unsigned char* data, std::size_t length) override {
        // The digests count lengths in 32-bit steps.
        while (length != 0) {
            const std::size_t step = std::min<std::size_t>(length, INT_MAX & ~std::size_t{127});
            m_work.AddData(data, static_cast<std::int32_t>(step));
            data += step;
            length -= step;
        }
    }

    void Final(unsigned char* out) override {
        unsigned char inner[kMaxDigest];
        ScopedWipe wipeInner(inner);
        m_work.FinalDigest(inner);
        m_work = m_outer;
        m_work.AddData(inner, m_work.DigestLength());
        m_work.FinalDigest(out);
        m_work = m_inner;
    }

    std::size_t Length() const override { return static_cast<std::size_t>(m_work.DigestLength()); }

private:
    Digest m_inner;  // after the inner key block
    Digest m_outer;  // after the outer key block
    Digest m_work;   // the message in progress
};

std::unique_ptr<CHmac::IEngine> MakeEngine(std::int32_t hashType) {
    switch (hashType) {
        case 1: return std::make_unique<Engine<CSHA>>(0);
        case 2: return std::make_unique<Engine<CSHA>>(1);
        case 3: return std::make_unique<Engine<CSHA>>(2);
        case 5: return std::make_unique<Engine<CMD5>>();
        case 6: return std::make_unique<Engine<CRIPEMD>>(0);
        case 7: return std::make_unique<Engine<CRIPEMD>>(1);
        default: return std::make_unique<Engine<CSHA>>(3);
    }
}

}  // namespace

CHmac::CHmac(std::int32_t hashType) : m_pEngine(MakeEngine(hashType)) {}

// The engine's digests wipe their keyed states as they go.
CHmac::~CHmac() = default;

void CHmac::SetKey(const unsigned char* key, std::size_t length) { m_pEngine->SetKey(key, length); }

void CHmac::Update(const unsigned char* data, std::size_t length) { m_pEngine->Update(data, length); }

void CHmac::Final(unsigned char* out) { m_pEngine->Final(out); }

std::size_t CHmac::Length() const { return m_pEngine->Length(); }

}  // namespace mg
