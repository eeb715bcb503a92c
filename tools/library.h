#ifndef MG_TOOLS_LIBRARY_H
#define MG_TOOLS_LIBRARY_H

#include <string>
#include <vector>

#include "hostsim/expression_evaluator.h"
#include "hostsim/host.h"
#include "hostsim/work_areas.h"

namespace mg::tool {

using hostsim::CallResult;
using hostsim::Value;

// The library as the tool sees it: loaded by the substitute host, reached
// only by function name through DispatchAPI, as a program of the real host
// reaches it. The host's work areas answer the library's questions about
// open tables.
class Library {
public:
    Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // Runs an exposed function; a failure throws ToolError carrying the
    // library's message exactly as it came.
    Value Call(const std::string& name, const std::vector<Value>& args);
    // Runs it and hands back the outcome, failures included.
    CallResult TryCall(const std::string& name, const std::vector<Value>& args);
    bool Has(const std::string& name) const { return m_host.Find(name) != nullptr; }

    // The text to show for a failed call.
    static std::string Describe(const CallResult& result);

    hostsim::Host& Host() { return m_host; }
    hostsim::WorkAreas& Areas() { return m_areas; }

    // Opens a table file in the next free work area; returns its alias.
    // Throws ToolError when the file cannot be read.
    std::string OpenTable(const std::string& path, const std::string& alias = "");

private:
    hostsim::Host m_host;
    hostsim::WorkAreas m_areas;
    hostsim::ExpressionEvaluator m_evaluator{m_areas};
};

}  // namespace mg::tool

#endif
