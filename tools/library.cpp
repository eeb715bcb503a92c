#include "tools/library.h"

#include <exception>

#include "tools/tool_error.h"

namespace mg::tool {

Library::Library() { m_evaluator.AttachTo(m_host); }

std::string Library::OpenTable(const std::string& path, const std::string& alias) {
    try {
        const int area = m_areas.OpenFile(path, alias);
        return m_areas.AliasOf(area);
    } catch (const std::exception& e) {
        throw ToolError(std::string("marrowgate: ") + e.what());
    }
}

CallResult Library::TryCall(const std::string& name, const std::vector<Value>& args) {
    return m_host.Call(name, args);
}

Value Library::Call(const std::string& name, const std::vector<Value>& args) {
    CallResult result = m_host.Call(name, args);
    if (!result.ok()) throw ToolError(Describe(result));
    return std::move(result.value);
}

std::string Library::Describe(const CallResult& result) {
    // The library's own text goes out untouched: callers match on it.
    if (!result.message.empty()) return result.message;
    if (result.error == 182) return "Insufficient memory (host error 182)";
    return "host error " + std::to_string(result.error);
}

}  // namespace mg::tool
