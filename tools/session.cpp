#include "tools/session.h"

#include "tools/library.h"

namespace mg::tool {

Session::Session() = default;
Session::~Session() = default;

Library& Session::Lib() {
    if (!m_pLibrary) m_pLibrary = std::make_unique<Library>();
    return *m_pLibrary;
}

}  // namespace mg::tool
