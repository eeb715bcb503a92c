#ifndef MG_TOOLS_EXPRESSION_H
#define MG_TOOLS_EXPRESSION_H

#include <cstddef>
#include <string>
#include <vector>

#include "hostsim/value.h"

namespace mg::tool {

class Library;

// An expression in the host's syntax over the library's functions: calls
// (nested), string literals in '...', "..." and [...], 0h binary literals,
// numbers, .T. and .F., unary minus and '+' (joins strings, adds numbers).
// The whole text is parsed before anything runs, so a typo late in the text
// cannot leave a file half-processed by an earlier call.
class Expression {
public:
    explicit Expression(const std::string& text);  // throws UsageError on a syntax error

    // Throws UsageError for a function the library does not have, ToolError
    // when a call fails or the operands of '+' do not fit.
    hostsim::Value Evaluate(Library& library) const;

private:
    struct Node {
        enum class Kind { Literal, Call, Join, Negate };
        Kind kind = Kind::Literal;
        hostsim::Value literal;
        std::string name;
        std::vector<Node> children;
    };

    class Parser;

    hostsim::Value Run(const Node& node, Library& library) const;
    void Check(const Node& node, Library& library) const;

    Node m_root;
};

}  // namespace mg::tool

#endif
