#ifndef MG_TOOLS_SESSION_H
#define MG_TOOLS_SESSION_H

#include <memory>

namespace mg::tool {

class Library;

// What one run of the tool shares between its parts: the library, loaded on
// first use so that help and usage errors work without it.
class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Library& Lib();

private:
    std::unique_ptr<Library> m_pLibrary;
};

}  // namespace mg::tool

#endif
