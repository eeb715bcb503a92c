#pragma once

#include <cstdint>
#include <string>

namespace mg {

// Incremental digest contract shared by CMD5, CSHA and CRIPEMD:
// Reset, AddData any number of times, FinalDigest (which resets again).
// Every failure throws std::runtime_error with a fixed text and leaves the
// object as it was.
class IMessageDigest {
public:
    IMessageDigest() : m_bDataAdded(false) {}
    virtual ~IMessageDigest();

    // A negative length is refused; a length of 0 still counts as data, so
    // that the digest of the empty message can be finished.
    virtual void AddData(const unsigned char* data, std::int32_t length) = 0;
    // Writes exactly DigestLength() bytes and resets the object.
    virtual void FinalDigest(unsigned char* out) = 0;
    virtual void Reset() = 0;
    // Compresses the block standing in the object's own buffer.
    virtual void Transform() = 0;

    virtual std::int32_t DigestLength() const = 0;
    // Block length in bytes, the B of HMAC.
    virtual std::int32_t BlockLength() const = 0;

    // Digest of the whole named file into out. A file that cannot be opened
    // leaves out untouched; a read error part way throws instead of
    // yielding the digest of a prefix. An empty file gives the digest of the
    // empty message.
    void DigestFile(const std::string& name, unsigned char* out);

    bool DataAdded() const { return m_bDataAdded; }

protected:
    // Copies of a digest in progress carry on from the same state (HMAC keeps
    // its keyed states this way); only the concrete classes expose them.
    IMessageDigest(const IMessageDigest&) = default;
    IMessageDigest& operator=(const IMessageDigest&) = default;

    bool m_bDataAdded;
};

}  // namespace mg
