#include <gtest/gtest.h>

#include "hostsim/expression_evaluator.h"

namespace mg::hostsim {
namespace {

using E = ExpressionEvaluator;

class Expressions : public ::testing::Test {
protected:
    WorkAreas areas;
    ExpressionEvaluator evaluator{areas};

    Expressions() {
        Table orders({Field("ID", 'I'), Field("CUSTOMER", 'C', 8), Field("NOTES", 'M'), Field("TOTAL", 'N', 8, 2),
                      Field("DUE", 'D'), Field("PAID", 'L')});
        orders.Append({Cell::Integer(3), Cell::Text("ACME"), Cell::Text("call first"), Cell::Number(19.9),
                       Cell::Date(2024, 3, 9), Cell::Logical(true)});
        areas.Open(std::move(orders), "orders");
        Table people({Field("NAME", 'C', 4)});
        people.Append({Cell::Text("Ann")});
        areas.Open(std::move(people), "people");
        areas.Select(2);
    }

    // The value an expression gives; fails the test on an error.
    Value Of(const std::string& expression) {
        Value v;
        const std::int32_t error = evaluator.Evaluate(expression, v);
        EXPECT_EQ(error, 0) << expression;
        return v;
    }
    std::string Text(const std::string& expression) {
        const Value v = Of(expression);
        EXPECT_EQ(v.kind, Value::Kind::Bytes) << expression;
        return v.bytes;
    }
    std::int32_t Error(const std::string& expression) {
        Value v = Value::Of("untouched");
        const std::int32_t error = evaluator.Evaluate(expression, v);
        EXPECT_EQ(v.bytes, "untouched") << "a failed evaluation fills nothing: " << expression;
        return error;
    }
};

TEST_F(Expressions, AliasesOfTheSelectedAndOfNamedAreas) {
    EXPECT_EQ(Text("ALIAS()"), "PEOPLE");
    EXPECT_EQ(Text("alias( 'orders' )"), "ORDERS");
    EXPECT_EQ(Error("ALIAS('nosuch')"), E::kErrorNoAlias);
    areas.Select(5);
    EXPECT_EQ(Text("ALIAS()"), "") << "an empty work area";
    EXPECT_EQ(Of("FLDCOUNT()").integer, 0);
    EXPECT_EQ(Text("FIELD(1)"), "");
    EXPECT_EQ(Error("NAME"), E::kErrorNoVariable);
}

TEST_F(Expressions, FieldCountsAndNames) {
    const Value n = Of("FLDCOUNT('ORDERS')");
    EXPECT_EQ(n.kind, Value::Kind::Integer);
    EXPECT_EQ(n.integer, 6);
    EXPECT_EQ(Of("FLDCOUNT()").integer, 1);
    EXPECT_EQ(Text("FIELD(2,'ORDERS')"), "CUSTOMER");
    EXPECT_EQ(Text("FIELD(1)"), "NAME") << "without an alias, the selected area";
    EXPECT_EQ(Text("FIELD(7,'ORDERS')"), "");
    EXPECT_EQ(Text("FIELD(0,'ORDERS')"), "");
    EXPECT_EQ(Error("FLDCOUNT('NOSUCH')"), E::kErrorNoAlias);
    EXPECT_EQ(Error("FIELD(1,'NOSUCH')"), E::kErrorNoAlias);
    EXPECT_EQ(Error("FIELD('1')"), E::kErrorArguments);
}

// Fields that are not there (the memo test on real fields runs through the record functions).
TEST_F(Expressions, TypeOfUnknownFields) {
    EXPECT_EQ(Text("TYPE('ORDERS.TOTAL')"), "N");
    EXPECT_EQ(Text("TYPE('ORDERS.NOWHERE')"), "U");
    EXPECT_EQ(Text("TYPE('ORDERS.'+FIELD(9,'ORDERS'))"), "U");
    EXPECT_EQ(Error("TRANSFORM(EVALUATE('ORDERS.'+FIELD(9,'ORDERS')))"), E::kErrorNoVariable);
    EXPECT_EQ(Error("TYPE('X.'+FIELD(1,'X'))='M'"), E::kErrorNoAlias) << "TYPE's own argument fails";
}

TEST_F(Expressions, FieldWithoutAliasNamesTheSelectedTablesField) {
    // What an unqualified FIELD() does to a table that is open but not selected.
    EXPECT_EQ(Error("TRANSFORM(EVALUATE('ORDERS.'+FIELD(1)))"), E::kErrorNoVariable);
    areas.Select("orders");
    EXPECT_EQ(Text("TRANSFORM(EVALUATE('ORDERS.'+FIELD(2)))"), "ACME    ");
}

TEST_F(Expressions, OperatorsAndFailures) {
    EXPECT_EQ(Text("'a'+\"b\"+[c]"), "abc");
    EXPECT_EQ(Of("1+2").integer, 3);
    EXPECT_TRUE(Of("'ABC'='AB'").logical) << "the host's default comparison";
    EXPECT_FALSE(Of("'AB'='ABC'").logical);
    EXPECT_TRUE(Of("('x')=''").logical);
    EXPECT_EQ(Text("[it's \"quoted\"]"), "it's \"quoted\"");
    EXPECT_EQ(Error("'a'+1"), E::kErrorTypeMismatch);
    EXPECT_EQ(Error("'unterminated"), E::kErrorSyntax);
    EXPECT_EQ(Error("ALIAS('orders')')"), E::kErrorSyntax);
    EXPECT_EQ(Error("ALIAS("), E::kErrorSyntax);
    EXPECT_EQ(Error(""), E::kErrorSyntax);
    EXPECT_EQ(Error("QUIT()"), E::kErrorNoFunction);
    EXPECT_EQ(Error("NOSUCH"), E::kErrorNoVariable);
    EXPECT_EQ(Error("NOSUCH.FIELD"), E::kErrorNoAlias);
    EXPECT_EQ(Error("ALIAS('a','b')"), E::kErrorArguments);
    EXPECT_EQ(Error("99999999999"), E::kErrorSyntax);
    // A field that evaluates itself does not recurse without end.
    Table self({Field("CODE", 'C', 20)});
    self.Append({Cell::Text("EVALUATE(SELF.CODE)")});
    areas.Open(std::move(self), "self");
    EXPECT_EQ(Error("EVALUATE(SELF.CODE)"), E::kErrorSyntax);
}

}  // namespace
}  // namespace mg::hostsim
