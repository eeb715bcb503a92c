#include "tools/expression.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "tools/codec.h"
#include "tools/library.h"
#include "tools/tool_error.h"
#include "tools/usage_error.h"

namespace mg::tool {

using hostsim::Value;

class Expression::Parser {
public:
    explicit Parser(const std::string& text) : m_sText(text) {}

    Node ParseAll() {
        Node node = ParseSum();
        SkipBlanks();
        if (m_iPos < m_sText.size()) Fail("unexpected '" + std::string(1, m_sText[m_iPos]) + "'");
        return node;
    }

private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw UsageError("syntax error at column " + std::to_string(m_iPos + 1) + ": " + what + "\n  " + m_sText +
                         "\n  " + std::string(m_iPos, ' ') + "^");
    }

    void SkipBlanks() {
        while (m_iPos < m_sText.size() && std::isspace(static_cast<unsigned char>(m_sText[m_iPos]))) ++m_iPos;
    }

    bool Accept(char c) {
        SkipBlanks();
        if (m_iPos < m_sText.size() && m_sText[m_iPos] == c) {
            ++m_iPos;
            return true;
        }
        return false;
    }

    Node ParseSum() {
        Node left = ParseUnary();
        while (Accept('+')) {
            Node join;
            join.kind = Node::Kind::Join;
            join.children.push_back(std::move(left));
            join.children.push_back(ParseUnary());
            left = std::move(join);
        }
        return left;
    }

    Node ParseUnary() {
        if (Accept('-')) {
            Node negate;
            negate.kind = Node::Kind::Negate;
            negate.children.push_back(ParseUnary());
            return negate;
        }
        if (Accept('+')) return ParseUnary();
        return ParseOperand();
    }

    Node ParseOperand() {
        SkipBlanks();
        if (m_iPos >= m_sText.size()) Fail("expression ends too soon");
        const char c = m_sText[m_iPos];
        if (c == '(') {
            ++m_iPos;
            Node inner = ParseSum();
            if (!Accept(')')) Fail("')' expected");
            return inner;
        }
        if (c == '\'' || c == '"' || c == '[') return ParseString(c == '[' ? ']' : c);
        if (c == '.') return ParseLogical();
        if (c == '0' && m_iPos + 1 < m_sText.size() && (m_sText[m_iPos + 1] == 'h' || m_sText[m_iPos + 1] == 'H')) {
            return ParseBinary();
        }
        if (std::isdigit(static_cast<unsigned char>(c))) return ParseNumber();
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') return ParseCall();
        Fail("unexpected '" + std::string(1, c) + "'");
    }

    Node ParseString(char close) {
        const std::size_t start = ++m_iPos;
        const std::size_t end = m_sText.find(close, start);
        if (end == std::string::npos) {
            --m_iPos;
            Fail(std::string("string not closed with ") + close);
        }
        m_iPos = end + 1;
        return Literal(Value::Of(m_sText.substr(start, end - start)));
    }

    Node ParseLogical() {
        if (m_iPos + 2 < m_sText.size() && m_sText[m_iPos + 2] == '.') {
            const char v = static_cast<char>(std::toupper(static_cast<unsigned char>(m_sText[m_iPos + 1])));
            if (v == 'T' || v == 'F' || v == 'Y' || v == 'N') {
                m_iPos += 3;
                return Literal(Value::Bool(v == 'T' || v == 'Y'));
            }
        }
        Fail("expected .T. or .F.");
    }

    Node ParseBinary() {
        const std::size_t start = m_iPos;
        m_iPos += 2;
        std::size_t end = m_iPos;
        while (end < m_sText.size() && std::isxdigit(static_cast<unsigned char>(m_sText[end]))) ++end;
        const std::string digits = m_sText.substr(m_iPos, end - m_iPos);
        if (digits.size() % 2 != 0) {
            m_iPos = start;
            Fail("a 0h literal needs an even number of hex digits");
        }
        m_iPos = end;
        return Literal(Value::Of(*FromHex(digits)));
    }

    Node ParseNumber() {
        const std::size_t start = m_iPos;
        while (m_iPos < m_sText.size() && std::isdigit(static_cast<unsigned char>(m_sText[m_iPos]))) ++m_iPos;
        int decimals = 0;
        if (m_iPos + 1 < m_sText.size() && m_sText[m_iPos] == '.' &&
            std::isdigit(static_cast<unsigned char>(m_sText[m_iPos + 1]))) {
            ++m_iPos;
            while (m_iPos < m_sText.size() && std::isdigit(static_cast<unsigned char>(m_sText[m_iPos]))) {
                ++m_iPos;
                ++decimals;
            }
        }
        if (m_iPos < m_sText.size() && (std::isalpha(static_cast<unsigned char>(m_sText[m_iPos])) || m_sText[m_iPos] == '_')) {
            Fail("unexpected '" + std::string(1, m_sText[m_iPos]) + "' after a number");
        }
        const std::string text = m_sText.substr(start, m_iPos - start);
        const double number = std::strtod(text.c_str(), nullptr);
        if (decimals == 0 && number <= 2147483647.0) {
            return Literal(Value::Int(static_cast<std::int32_t>(std::strtol(text.c_str(), nullptr, 10))));
        }
        return Literal(Value::Num(number, 20, decimals));
    }

    Node ParseCall() {
        const std::size_t start = m_iPos;
        while (m_iPos < m_sText.size() &&
               (std::isalnum(static_cast<unsigned char>(m_sText[m_iPos])) || m_sText[m_iPos] == '_')) {
            ++m_iPos;
        }
        Node call;
        call.kind = Node::Kind::Call;
        for (std::size_t i = start; i < m_iPos; ++i) {
            call.name += static_cast<char>(std::toupper(static_cast<unsigned char>(m_sText[i])));
        }
        if (!Accept('(')) Fail("'(' expected after " + call.name);
        if (!Accept(')')) {
            do {
                call.children.push_back(ParseSum());
            } while (Accept(','));
            if (!Accept(')')) Fail("',' or ')' expected");
        }
        return call;
    }

    static Node Literal(Value v) {
        Node node;
        node.literal = std::move(v);
        return node;
    }

    const std::string& m_sText;
    std::size_t m_iPos = 0;
};

Expression::Expression(const std::string& text) { m_root = Parser(text).ParseAll(); }

void Expression::Check(const Node& node, Library& library) const {
    if (node.kind == Node::Kind::Call && !library.Has(node.name)) {
        std::string known;
        for (const auto& row : library.Host().Rows()) known += (known.empty() ? "" : ", ") + row.name;
        throw UsageError("unknown function " + node.name + "; the library has " + known);
    }
    for (const Node& child : node.children) Check(child, library);
}

Value Expression::Evaluate(Library& library) const {
    Check(m_root, library);
    return Run(m_root, library);
}

namespace {

bool IsNumeric(const Value& v) { return v.kind == Value::Kind::Integer || v.kind == Value::Kind::Number; }
double AsDouble(const Value& v) { return v.kind == Value::Kind::Integer ? v.integer : v.number; }

// The host hands a numeric value to an integer parameter as an integer when
// it is whole and in range; the substitute host expects that done already.
Value Coerce(Value v, char declared) {
    if (declared == 'I' && v.kind == Value::Kind::Number && std::floor(v.number) == v.number &&
        v.number >= -2147483648.0 && v.number <= 2147483647.0) {
        return Value::Int(static_cast<std::int32_t>(v.number));
    }
    return v;
}

}  // namespace

Value Expression::Run(const Node& node, Library& library) const {
    switch (node.kind) {
        case Node::Kind::Literal: return node.literal;
        case Node::Kind::Negate: {
            Value v = Run(node.children[0], library);
            if (v.kind == Value::Kind::Integer && v.integer != INT32_MIN) return Value::Int(-v.integer);
            if (IsNumeric(v)) return Value::Num(-AsDouble(v), v.width, v.decimals);
            throw ToolError("Operator/operand type mismatch.");
        }
        case Node::Kind::Join: {
            const Value a = Run(node.children[0], library);
            const Value b = Run(node.children[1], library);
            if (a.kind == Value::Kind::Bytes && b.kind == Value::Kind::Bytes) return Value::Of(a.bytes + b.bytes);
            if (a.kind == Value::Kind::Integer && b.kind == Value::Kind::Integer) {
                const std::int64_t sum = std::int64_t{a.integer} + b.integer;
                if (sum >= INT32_MIN && sum <= INT32_MAX) return Value::Int(static_cast<std::int32_t>(sum));
            }
            if (IsNumeric(a) && IsNumeric(b)) {
                const int decimals = std::max(a.kind == Value::Kind::Number ? a.decimals : 0,
                                              b.kind == Value::Kind::Number ? b.decimals : 0);
                return Value::Num(AsDouble(a) + AsDouble(b), 20, decimals);
            }
            throw ToolError("Operator/operand type mismatch.");
        }
        case Node::Kind::Call: break;
    }
    // Arguments are evaluated left to right before the call, as the host does.
    const auto* row = library.Host().Find(node.name);
    std::vector<char> declared;
    for (std::size_t i = 0; i < row->typeString.size(); ++i) {
        if (row->typeString[i] == ',') continue;
        if (i + 1 == row->typeString.size() || row->typeString[i + 1] == ',') declared.push_back(row->typeString[i]);
    }
    std::vector<Value> args;
    for (std::size_t i = 0; i < node.children.size(); ++i) {
        args.push_back(Coerce(Run(node.children[i], library), i < declared.size() ? declared[i] : '?'));
    }
    return library.Call(node.name, args);
}

}  // namespace mg::tool
