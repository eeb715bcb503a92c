#include "hostsim/expression_evaluator.h"

#include <vector>

#include "hostsim/host.h"
#include "hostsim/text_form.h"

namespace mg::hostsim {
namespace {

using E = ExpressionEvaluator;

// Thrown inside one evaluation; Evaluate turns it into the error number.
struct Failure {
    std::int32_t error;
};

// An intermediate value. A field keeps its definition, so that TYPE and
// TRANSFORM can answer for it as the host does.
struct Datum {
    enum class Kind { Text, Integer, Logical, Field };
    Kind kind = Kind::Text;
    std::string text;
    std::int64_t integer = 0;
    bool logical = false;
    FieldDef field;
    Cell cell;

    static Datum OfText(std::string t) {
        Datum d;
        d.text = std::move(t);
        return d;
    }
    static Datum OfInteger(std::int64_t i) {
        Datum d;
        d.kind = Kind::Integer;
        d.integer = i;
        return d;
    }
    static Datum OfLogical(bool b) {
        Datum d;
        d.kind = Kind::Logical;
        d.logical = b;
        return d;
    }
};

// Nested EVALUATE and TYPE texts may not recurse without end.
constexpr int kMaxDepth = 16;

std::string Upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9'); }

// A field read as the plain value the operators work on; the kinds the
// operators do not take stay fields.
Datum Plain(const Datum& d) {
    if (d.kind != Datum::Kind::Field || d.cell.null) return d;
    switch (d.field.type) {
        case 'C': case 'V': case 'Q': case 'M': case 'W': return Datum::OfText(d.cell.bytes);
        case 'I': return Datum::OfInteger(d.cell.integer);
        case 'L': return Datum::OfLogical(d.cell.logical);
        default: return d;
    }
}

std::string TypeLetter(const Datum& d) {
    switch (d.kind) {
        case Datum::Kind::Text: return "C";
        case Datum::Kind::Integer: return "N";
        case Datum::Kind::Logical: return "L";
        case Datum::Kind::Field: break;
    }
    switch (d.field.type) {
        case 'N': case 'F': case 'I': case 'B': return "N";
        case 'V': return "C";
        default: return std::string(1, d.field.type);
    }
}

// One pass over one expression text.
class Scan {
public:
    Scan(WorkAreas& areas, const std::string& text, int depth) : m_rAreas(areas), m_sText(text), m_iDepth(depth) {
        if (depth > kMaxDepth) throw Failure{E::kErrorSyntax};
    }

    Datum Whole() {
        Datum d = Comparison();
        Blanks();
        if (m_iPos != m_sText.size()) throw Failure{E::kErrorSyntax};
        return d;
    }

private:
    void Blanks() {
        while (m_iPos < m_sText.size() && (m_sText[m_iPos] == ' ' || m_sText[m_iPos] == '\t')) ++m_iPos;
    }
    bool Accept(char c) {
        Blanks();
        if (m_iPos < m_sText.size() && m_sText[m_iPos] == c) {
            ++m_iPos;
            return true;
        }
        return false;
    }
    void Expect(char c) {
        if (!Accept(c)) throw Failure{E::kErrorSyntax};
    }

    Datum Comparison() {
        Datum left = Sum();
        if (!Accept('=')) return left;
        const Datum a = Plain(left), b = Plain(Sum());
        if (a.kind == Datum::Kind::Text && b.kind == Datum::Kind::Text) {
            return Datum::OfLogical(a.text.compare(0, b.text.size(), b.text) == 0 && a.text.size() >= b.text.size());
        }
        if (a.kind == Datum::Kind::Integer && b.kind == Datum::Kind::Integer) return Datum::OfLogical(a.integer == b.integer);
        throw Failure{E::kErrorTypeMismatch};
    }

    Datum Sum() {
        Datum d = Primary();
        while (Accept('+')) {
            const Datum a = Plain(d), b = Plain(Primary());
            if (a.kind == Datum::Kind::Text && b.kind == Datum::Kind::Text) {
                d = Datum::OfText(a.text + b.text);
            } else if (a.kind == Datum::Kind::Integer && b.kind == Datum::Kind::Integer) {
                d = Datum::OfInteger(a.integer + b.integer);
            } else {
                throw Failure{E::kErrorTypeMismatch};
            }
        }
        return d;
    }

    Datum Primary() {
        Blanks();
        if (m_iPos >= m_sText.size()) throw Failure{E::kErrorSyntax};
        const char c = m_sText[m_iPos];
        if (c == '\'' || c == '"' || c == '[') {
            const char close = c == '[' ? ']' : c;
            const std::size_t end = m_sText.find(close, m_iPos + 1);
            if (end == std::string::npos) throw Failure{E::kErrorSyntax};
            Datum d = Datum::OfText(m_sText.substr(m_iPos + 1, end - m_iPos - 1));
            m_iPos = end + 1;
            return d;
        }
        if (c >= '0' && c <= '9') {
            std::int64_t n = 0;
            while (m_iPos < m_sText.size() && m_sText[m_iPos] >= '0' && m_sText[m_iPos] <= '9') {
                n = n * 10 + (m_sText[m_iPos++] - '0');
                if (n > 0x7FFFFFFF) throw Failure{E::kErrorSyntax};
            }
            return Datum::OfInteger(n);
        }
        if (c == '(') {
            ++m_iPos;
            Datum d = Comparison();
            Expect(')');
            return d;
        }
        if (!IsNameStart(c)) throw Failure{E::kErrorSyntax};
        const std::string name = Name();
        if (Accept('(')) return Call(Upper(name));
        if (m_iPos < m_sText.size() && m_sText[m_iPos] == '.') {
            ++m_iPos;
            if (m_iPos >= m_sText.size() || !IsNameStart(m_sText[m_iPos])) throw Failure{E::kErrorSyntax};
            const std::string field = Name();
            Table* table = m_rAreas.Find(name);
            if (table == nullptr) throw Failure{E::kErrorNoAlias};
            return FieldOf(*table, field);
        }
        Table* table = m_rAreas.InArea(m_rAreas.Selected());
        if (table == nullptr) throw Failure{E::kErrorNoVariable};
        return FieldOf(*table, name);
    }

    std::string Name() {
        const std::size_t start = m_iPos;
        while (m_iPos < m_sText.size() && IsNameChar(m_sText[m_iPos])) ++m_iPos;
        return m_sText.substr(start, m_iPos - start);
    }

    static Datum FieldOf(const Table& table, const std::string& name) {
        const int i = table.FieldIndex(name);
        if (i < 0) throw Failure{E::kErrorNoVariable};
        Datum d;
        d.kind = Datum::Kind::Field;
        d.field = table.Fields()[static_cast<std::size_t>(i)];
        d.cell = table.Current(static_cast<std::size_t>(i));
        return d;
    }

    // A text that names a field as ALIAS.FIELD is looked up directly, so that
    // aliases outside the host's name rules still work; any other text is
    // evaluated as an expression of its own.
    Datum Nested(const std::string& text) {
        const std::size_t dot = text.find_last_of('.');
        if (dot != std::string::npos) {
            // An empty field name is what FIELD() gives past the last field.
            const std::string field = text.substr(dot + 1);
            bool plainName = field.empty() || IsNameStart(field[0]);
            for (char c : field) plainName = plainName && IsNameChar(c);
            Table* table = plainName ? m_rAreas.Find(text.substr(0, dot)) : nullptr;
            if (table != nullptr) return FieldOf(*table, field);
        }
        return Scan(m_rAreas, text, m_iDepth + 1).Whole();
    }

    Table* TableNamed(const Datum& alias) {
        if (alias.kind != Datum::Kind::Text) throw Failure{E::kErrorArguments};
        Table* table = m_rAreas.Find(alias.text);
        if (table == nullptr) throw Failure{E::kErrorNoAlias};
        return table;
    }

    Datum Call(const std::string& function) {
        std::vector<Datum> args;
        if (!Accept(')')) {
            do {
                args.push_back(Plain(Comparison()));
            } while (Accept(','));
            Expect(')');
        }
        auto textArg = [&](std::size_t i) -> const std::string& {
            if (args.size() <= i || args[i].kind != Datum::Kind::Text) throw Failure{E::kErrorArguments};
            return args[i].text;
        };

        if (function == "ALIAS") {
            if (args.size() > 1) throw Failure{E::kErrorArguments};
            if (args.empty()) return Datum::OfText(m_rAreas.AliasOf(m_rAreas.Selected()));
            if (args[0].kind == Datum::Kind::Integer) {
                return Datum::OfText(m_rAreas.AliasOf(static_cast<int>(args[0].integer)));
            }
            TableNamed(args[0]);
            return Datum::OfText(m_rAreas.AliasOf(m_rAreas.AreaOf(args[0].text)));
        }
        if (function == "FLDCOUNT" || function == "FCOUNT") {
            if (args.size() > 1) throw Failure{E::kErrorArguments};
            const Table* table = args.empty() ? m_rAreas.InArea(m_rAreas.Selected()) : TableNamed(args[0]);
            return Datum::OfInteger(table == nullptr ? 0 : static_cast<std::int64_t>(table->Fields().size()));
        }
        if (function == "FIELD") {
            if (args.empty() || args.size() > 2 || args[0].kind != Datum::Kind::Integer) throw Failure{E::kErrorArguments};
            const Table* table = args.size() == 2 ? TableNamed(args[1]) : m_rAreas.InArea(m_rAreas.Selected());
            const std::int64_t n = args[0].integer;
            if (table == nullptr || n < 1 || n > static_cast<std::int64_t>(table->Fields().size())) return Datum::OfText("");
            return Datum::OfText(table->Fields()[static_cast<std::size_t>(n - 1)].name);
        }
        if (function == "TYPE") {
            if (args.size() != 1) throw Failure{E::kErrorArguments};
            try {
                return Datum::OfText(TypeLetter(Nested(textArg(0))));
            } catch (const Failure&) {
                return Datum::OfText("U");
            }
        }
        if (function == "EVALUATE") {
            if (args.size() != 1) throw Failure{E::kErrorArguments};
            return Nested(textArg(0));
        }
        if (function == "TRANSFORM") {
            if (args.size() != 1) throw Failure{E::kErrorArguments};
            const Datum& x = args[0];
            switch (x.kind) {
                case Datum::Kind::Text: return x;
                case Datum::Kind::Integer: return Datum::OfText(std::to_string(x.integer));
                case Datum::Kind::Logical: return Datum::OfText(x.logical ? ".T." : ".F.");
                case Datum::Kind::Field: break;
            }
            return Datum::OfText(TextForm(x.field, x.cell, m_rAreas.Settings()));
        }
        throw Failure{E::kErrorNoFunction};
    }

    WorkAreas& m_rAreas;
    const std::string& m_sText;
    std::size_t m_iPos = 0;
    int m_iDepth;
};

Value ToValue(const Datum& d, const TextSettings& settings) {
    const Datum p = Plain(d);
    switch (p.kind) {
        case Datum::Kind::Text: return Value::Of(p.text);
        case Datum::Kind::Integer:
            if (p.integer >= -0x7FFFFFFFLL - 1 && p.integer <= 0x7FFFFFFF) return Value::Int(static_cast<std::int32_t>(p.integer));
            return Value::Num(static_cast<double>(p.integer), 20, 0);
        case Datum::Kind::Logical: return Value::Bool(p.logical);
        case Datum::Kind::Field: break;
    }
    if (!p.cell.null && (p.field.type == 'N' || p.field.type == 'F' || p.field.type == 'B')) {
        return Value::Num(p.cell.number, p.field.width, p.field.decimals);
    }
    // Dates, currency and nulls have no form of their own here.
    return Value::Of(TextForm(p.field, p.cell, settings));
}

}  // namespace

std::int32_t ExpressionEvaluator::Evaluate(const std::string& expression, Value& result) const {
    try {
        result = ToValue(Scan(m_rAreas, expression, 0).Whole(), m_rAreas.Settings());
        return 0;
    } catch (const Failure& failure) {
        return failure.error;
    }
}

void ExpressionEvaluator::AttachTo(Host& host) const {
    host.SetEvaluator([this](const std::string& expression, Value& result) { return Evaluate(expression, result); });
}

}  // namespace mg::hostsim
