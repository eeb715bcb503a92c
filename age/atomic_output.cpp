#include "age/atomic_output.h"

namespace mg::age {

CAtomicOutput::CAtomicOutput(const std::string& name) : m_bOpen(m_oOut.Open(name.c_str())) {}

CAtomicOutput::Buffer::int_type CAtomicOutput::Buffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const auto byte = static_cast<unsigned char>(traits_type::to_char_type(c));
    return m_rOut.Write(&byte, 1) ? c : traits_type::eof();
}

std::streamsize CAtomicOutput::Buffer::xsputn(const char* s, std::streamsize n) {
    return m_rOut.Write(reinterpret_cast<const unsigned char*>(s), static_cast<std::size_t>(n)) ? n : 0;
}

bool CAtomicOutput::Commit() {
    if (!m_oStream) {
        m_oOut.Abort();
        return false;
    }
    return m_oOut.Commit();
}

}  // namespace mg::age
