#ifndef MG_HOSTSIM_EXPRESSION_EVALUATOR_H
#define MG_HOSTSIM_EXPRESSION_EVALUATOR_H

#include <cstdint>
#include <string>

#include "hostsim/value.h"
#include "hostsim/work_areas.h"

namespace mg::hostsim {

class Host;

// Evaluates expressions of the host's language over the open work areas, as
// the host does for request 55. It knows the part of the language that table
// records are read with:
//
//   literals     'text', "text", [text] (no escapes: a text cannot hold its
//                own delimiter), non-negative integers
//   operators    a + b (texts join, integers add), a = b (texts compare as
//                the host does by default: a begins with b), parentheses
//   names        FIELD or ALIAS.FIELD: the field in the current record
//   functions    ALIAS([alias | area]), FLDCOUNT([alias]), FCOUNT([alias]),
//                FIELD(n [, alias]), TYPE(text), EVALUATE(text), TRANSFORM(x)
//
// Function names and aliases are matched without regard to case. Without an
// alias a function works on the selected area. Failures answer with the host's
// error numbers below; TYPE gives "U" for a text that does not evaluate.
class ExpressionEvaluator {
public:
    static constexpr std::int32_t kErrorNoFunction = 1;
    static constexpr std::int32_t kErrorTypeMismatch = 9;
    static constexpr std::int32_t kErrorSyntax = 10;
    static constexpr std::int32_t kErrorArguments = 11;
    static constexpr std::int32_t kErrorNoVariable = 12;
    static constexpr std::int32_t kErrorNoAlias = 13;

    explicit ExpressionEvaluator(WorkAreas& areas) : m_rAreas(areas) {}

    // 0 and the value, or a host error number and `result` untouched.
    std::int32_t Evaluate(const std::string& expression, Value& result) const;
    // Makes `host` answer request 55 with this evaluator, which must outlive
    // the host's calls.
    void AttachTo(Host& host) const;

private:
    WorkAreas& m_rAreas;
};

}  // namespace mg::hostsim

#endif
