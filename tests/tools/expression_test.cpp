#include <gtest/gtest.h>

#include "tools/expression.h"
#include "tools/library.h"
#include "tools/tool_error.h"
#include "tools/usage_error.h"
#include "tools/value_display.h"

namespace mg::tool {
namespace {

using hostsim::Value;

std::string Show(Library& library, const std::string& text) {
    return ValueDisplay::Show(Expression(text).Evaluate(library));
}

TEST(Expression, LiteralsWithoutCalls) {
    Library library;
    EXPECT_EQ(Show(library, "'a' + \"b\" + [c]"), "abc");
    EXPECT_EQ(Show(library, "[it's \"quoted\"]"), "it's \"quoted\"");
    EXPECT_EQ(Show(library, "0h00FF + 0h"), "0h00FF");
    EXPECT_EQ(Show(library, "1 + 2 + -4"), "-1");
    EXPECT_EQ(Show(library, "2147483647 + 1"), "2147483648");
    EXPECT_EQ(Show(library, "1.25 + 1"), "2.25");
    EXPECT_EQ(Show(library, " ( .f. ) "), ".F.");
    EXPECT_THROW(Show(library, ".T. + 1"), ToolError);
    EXPECT_THROW(Show(library, "-'a'"), ToolError);
}

TEST(Expression, SyntaxIsCheckedBeforeAnythingRuns) {
    for (const char* bad : {"", "(", "'a' +", "HASH('a',)", "HASH('a' 'b')", "12ab", "0h1", "..T.", "[open",
                            "HASH('a'))", "#"}) {
        EXPECT_THROW(Expression{bad}, UsageError) << bad;
    }
}

TEST(Expression, UnknownFunctionsAreFoundBeforeAnyCall) {
    Library library;
    const std::size_t before = library.Host().OccupiedHandles();
    EXPECT_THROW(Expression("GENERATEKEY(4) + NOSUCH(1)").Evaluate(library), UsageError);
    EXPECT_EQ(library.Host().OccupiedHandles(), before);
}

TEST(ValueDisplay, AsTheHostShowsValues) {
    EXPECT_EQ(ValueDisplay::Show(Value::Of("tab\tand\r\nbreaks")), "tab\tand\r\nbreaks");
    EXPECT_EQ(ValueDisplay::Show(Value::Of(std::string("a\0b", 3))), "0h610062");
    EXPECT_EQ(ValueDisplay::Show(Value::Of("caf\xc3\xa9")), "0h636166C3A9");
    EXPECT_EQ(ValueDisplay::Show(Value::Num(3395655888.0, 10, 0)), "3395655888");
    EXPECT_EQ(ValueDisplay::Show(Value::Num(-2.5, 10, 2)), "-2.50");
    EXPECT_EQ(ValueDisplay::Show(Value{}), ".T.");
    EXPECT_EQ(ValueDisplay::Checksum(Value::Int(0x31C3), "hex"), "31c3");
    EXPECT_EQ(ValueDisplay::Checksum(Value::Num(4294967295.0, 10, 0), "hex"), "ffffffff");
    EXPECT_EQ(ValueDisplay::Checksum(Value::Num(15.0, 10, 0), "hex"), "0000000f");
    EXPECT_THROW(ValueDisplay::Checksum(Value::Int(1), "oct"), UsageError);
}

}  // namespace
}  // namespace mg::tool
