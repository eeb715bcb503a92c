// GETRECSTR, HASHRECORD and CRCRECORD on tables open in the substitute host.
#include <tuple>

#include "host_fixture.h"

namespace mg::testing {
namespace {

using hostsim::Cell;
using hostsim::Field;
using hostsim::FieldDef;
using hostsim::Table;

std::vector<std::string> Strings(std::initializer_list<const char*> items) { return {items.begin(), items.end()}; }

// ORDERS stands open in area 1, which is selected.
class Records : public TableHostTest {
protected:
    Records() { areas.Open(Orders(), "orders"); }
    std::string Rec(const std::string& alias) { return Bytes("GETRECSTR", {C(alias)}); }
    std::string Rec(const std::string& alias, Value memo) { return Bytes("GETRECSTR", {C(alias), memo}); }
};

TEST_F(Records, TheExactExpressionsSent) {
    host.ClearExpressions();
    Rec("Orders");
    EXPECT_EQ(host.Expressions(), Strings({
        "ALIAS('Orders')",
        "FLDCOUNT('ORDERS')",
        "TYPE('ORDERS.'+FIELD(1,'ORDERS'))='M'",
        "TRANSFORM(EVALUATE('ORDERS.'+FIELD(1,'ORDERS')))",
        "TYPE('ORDERS.'+FIELD(2,'ORDERS'))='M'",
        "TRANSFORM(EVALUATE('ORDERS.'+FIELD(2,'ORDERS')))",
        "TYPE('ORDERS.'+FIELD(3,'ORDERS'))='M'",
        "TYPE('ORDERS.'+FIELD(4,'ORDERS'))='M'",
        "TRANSFORM(EVALUATE('ORDERS.'+FIELD(4,'ORDERS')))",
    }));

    // Field numbers past 9 are written in plain decimal.
    Table wide(std::vector<FieldDef>(12, Field("F", 'C', 1)));
    wide.Append(std::vector<Cell>(12, Cell::Text("f")));
    areas.Open(std::move(wide), "wide");
    host.ClearExpressions();
    EXPECT_EQ(Rec("wide", L(true)), std::string(12, 'f'));
    EXPECT_EQ(host.Expressions().back(), "TRANSFORM(EVALUATE('WIDE.'+FIELD(12,'WIDE')))");
}

TEST_F(Records, ATableOpenButNotSelected) {
    Table other({Field("NAME", 'C', 4), Field("CITY", 'C', 4)});
    other.Append({Cell::Text("Bo"), Cell::Text("Oslo")});
    areas.Open(std::move(other), "people");
    areas.Select("people");
    EXPECT_EQ(Rec("orders"), "7ACME  19.90") << "field names come from ORDERS, not the selected PEOPLE";
    EXPECT_EQ(Rec(""), "Bo  Oslo");
}

// HASHRECORD and CRCRECORD are held to GETRECSTR's record string further down.
TEST_F(Records, MemosCountOnlyWhenAskedForWithTruthValueOne) {
    EXPECT_EQ(Rec("orders", L(true)), "7ACME  call first19.90");
    for (const Value& memo : {Value::Bool(false), Value::Truth(2), Value::Truth(0x101), Value::Truth(-1)}) {
        EXPECT_EQ(Rec("orders", memo), "7ACME  19.90") << memo.truth;
    }
}

TEST_F(Records, ATableWithoutFields) {
    areas.Open(Table(std::vector<FieldDef>{}), "empty");
    EXPECT_EQ(Rec("empty", L(true)), "");
    // MD5 of the empty message, RFC 1321 appendix A.5.
    EXPECT_EQ(Bytes("HASHRECORD", {C("empty"), I(5)}), Unhex("d41d8cd98f00b204e9800998ecf8427e"));
    EXPECT_EQ(Returned("CRCRECORD", {C("empty")}).kind, Value::Kind::Number) << "a CRC-32 of nothing, not no table's 0";
}

TEST_F(Records, UnresolvableAliases) {
    areas.Select(2);  // empty: a text up to its first NUL that is empty names it
    for (const std::string& alias :
         std::vector<std::string>{"nosuch", "", "a'b\"c[d", "x]'\"", std::string("\0orders", 7)}) {
        host.ClearExpressions();
        EXPECT_EQ(Rec(alias), "") << alias;
        EXPECT_EQ(Bytes("HASHRECORD", {C(alias), I(2)}), "");
        const Value crc = Returned("CRCRECORD", {C(alias), I(2)});
        EXPECT_EQ(crc.kind, Value::Kind::Integer) << "0 is an integer even for a CRC-32";
        EXPECT_EQ(crc.integer, 0);
        EXPECT_EQ(crc.width, 10);
        for (const std::string& e : host.Expressions()) {
            EXPECT_EQ(e.find("FLDCOUNT"), std::string::npos) << "nothing is read for " << alias;
        }
    }
    host.ClearExpressions();
    Rec("a'b\"c[d");
    EXPECT_TRUE(host.Expressions().empty()) << "a text that cannot be quoted is not sent at all";
}

TEST_F(Records, InjectionThroughTheAliasIsNotEvaluated) {
    Table secret({Field("PIN", 'C', 4)});
    secret.Append({Cell::Text("1234")});
    areas.Open(std::move(secret), "secret");
    // Between apostrophes the first would read SECRET's field as if it were an alias.
    const std::pair<std::string, std::string> attempts[] = {
        {"x')+EVALUATE('SECRET.PIN')+ALIAS('", "ALIAS(\"x')+EVALUATE('SECRET.PIN')+ALIAS('\")"},
        {"x\"+EVALUATE(\"SECRET.PIN\")+'", "ALIAS([x\"+EVALUATE(\"SECRET.PIN\")+'])"},
        {"orders']+ALIAS(['secret", "ALIAS(\"orders']+ALIAS(['secret\")"},
    };
    for (const auto& [alias, sent] : attempts) {
        host.ClearExpressions();
        EXPECT_EQ(Rec(alias), "");
        EXPECT_EQ(host.Expressions(), Strings({sent.c_str()}));
    }
}

TEST_F(Records, AliasesOfTheHostThatNeedQuoting) {
    Table t({Field("V", 'C', 2), Field("M", 'M')});
    t.Append({Cell::Text("ok"), Cell::Text("memo")});
    areas.Open(std::move(t), "o'brien");
    host.ClearExpressions();
    EXPECT_EQ(Rec("O'Brien"), "ok");
    EXPECT_EQ(host.Expressions(), Strings({
        "ALIAS(\"O'Brien\")",
        "FLDCOUNT(\"O'BRIEN\")",
        "TYPE(\"O'BRIEN.\"+FIELD(1,\"O'BRIEN\"))='M'",
        "TRANSFORM(EVALUATE(\"O'BRIEN.\"+FIELD(1,\"O'BRIEN\")))",
        "TYPE(\"O'BRIEN.\"+FIELD(2,\"O'BRIEN\"))='M'",
    }));

    // An alias the host returns with every delimiter in it is left alone.
    Table u({Field("V", 'C', 2)});
    u.Append({Cell::Text("no")});
    const int area = areas.Open(std::move(u), "a'b\"c[d]");
    areas.Select(area);
    host.ClearExpressions();
    EXPECT_EQ(Rec(""), "");
    EXPECT_EQ(host.Expressions(), Strings({"ALIAS()"}));
}

TEST_F(Records, HashAndCrcOfRecordsEqualThoseOfTheirRecordStrings) {
    for (const Value& memo : {L(false), L(true), Value::Truth(0x101)}) {
        const std::string record = Rec("orders", memo);
        for (int type = 1; type <= 7; ++type) {
            EXPECT_EQ(Bytes("HASHRECORD", {C("orders"), I(type), memo}), Bytes("HASH", {C(record), I(type)})) << type;
        }
        EXPECT_EQ(Returned("CRCRECORD", {C("orders"), I(1), memo}).integer, Returned("CRC", {C(record), I(1)}).integer);
        EXPECT_EQ(Returned("CRCRECORD", {C("orders"), I(2), memo}).number, Returned("CRC", {C(record), I(2)}).number);
    }
    EXPECT_EQ(Bytes("HASHRECORD", {C("orders")}), Bytes("HASH", {C(Rec("orders")), I(4)}));
}

TEST_F(Records, EachFieldsTextEndsAtItsFirstNul) {
    Table t({Field("RAW", 'Q', 4), Field("NAME", 'C', 2)});
    t.Append({Cell::Text(std::string("a\0b", 3)), Cell::Text("zz")});
    areas.Open(std::move(t), "raw");
    EXPECT_EQ(Rec("raw"), "azz");
}

// A host whose evaluations fail or answer with unexpected kinds of value.
class FailingHost : public Records {
protected:
    // Answers as the tables would, except where `answer` gives a result of its own.
    void Answer(std::function<bool(const std::string&, Value&, std::int32_t&)> answer) {
        host.SetEvaluator([this, answer](const std::string& e, Value& v) {
            std::int32_t status = 0;
            if (answer(e, v, status)) return status;
            return evaluator.Evaluate(e, v);
        });
    }
};

TEST_F(FailingHost, FieldCountsThatFailOrAreNoCount) {
    const std::tuple<std::int32_t, Value, std::string> cases[] = {
        {1, Value{}, ""},                    // a failed count gives the empty record string
        {0, Value::Of("4"), ""},             // a character count is no count, and its handle is freed
        {0, Value::Num(2, 10, 0), "7ACME  "},  // a whole number is
        {0, Value::Num(2.5, 10, 1), ""},
        {0, Value::Int(-3), ""},
    };
    for (const auto& [failure, count, record] : cases) {
        Answer([&](const std::string& e, Value& v, std::int32_t& status) {
            status = failure;
            v = count;
            return e.rfind("FLDCOUNT", 0) == 0;
        });
        EXPECT_EQ(Rec("orders"), record) << failure << " " << static_cast<int>(count.kind);
    }
}

TEST_F(FailingHost, AFailedFieldIsSkipped) {
    Answer([](const std::string& e, Value&, std::int32_t& status) {
        status = 12;
        return e == "TRANSFORM(EVALUATE('ORDERS.'+FIELD(2,'ORDERS')))" || e == "TYPE('ORDERS.'+FIELD(4,'ORDERS'))='M'";
    });
    EXPECT_EQ(Rec("orders"), "7");
    EXPECT_EQ(Rec("orders", L(true)), "7call first19.90");
}

TEST_F(FailingHost, ResultsOfTheWrongKindAreFreedAndIgnored) {
    Answer([](const std::string& e, Value& v, std::int32_t& status) {
        status = 0;
        if (e.rfind("TYPE", 0) == 0) v = Value::Of(".T.");  // a logical is expected
        else if (e.rfind("ALIAS", 0) == 0 && e != "ALIAS('orders')") v = Value::Int(1);
        else return false;
        return true;
    });
    EXPECT_EQ(Rec("orders"), "") << "every field's type is unknown, so each is left out";
    EXPECT_EQ(Rec("orders", L(true)), "7ACME  call first19.90");
    EXPECT_EQ(Rec("ORDERS"), "") << "an alias that is not text";
}

TEST_F(FailingHost, AFailedEvaluationLeavesWhatTheResultHeldAlone) {
    // The host writes a handle of its own into the result, then reports a failure.
    const abi::MemHandle keep = host.NewHandle("keep");
    host.SetObserver([keep](abi::HostRequest& r) {
        if (r.libraryCode != abi::kEvaluate) return;
        auto* v = reinterpret_cast<abi::HostValue*>(r.argument0);
        v->type = 'C';
        v->length = 4;
        v->handle = keep;
    });
    host.SetEvaluator([](const std::string&, Value&) { return 13; });
    EXPECT_EQ(Rec("orders"), "");
    EXPECT_EQ(Rec(""), "");
    EXPECT_EQ(Returned("CRCRECORD", {C("orders")}).integer, 0);
    EXPECT_EQ(host.ReadHandle(keep, 4), "keep");
    host.SetObserver(nullptr);
    host.FreeHandle(keep);
}

TEST(RecordsFullHost, ARecordStringThatCannotBeStoredRaises182) {
    // The evaluator takes the last free handles while it counts the fields.
    hostsim::Host host(hostsim::Module::DefaultPath(), 8);
    hostsim::WorkAreas areas;
    hostsim::ExpressionEvaluator evaluator(areas);
    areas.Open(Orders(), "orders");
    std::vector<abi::MemHandle> hogs;
    host.SetEvaluator([&](const std::string& e, Value& v) {
        if (e.rfind("FLDCOUNT", 0) == 0) {
            for (abi::MemHandle h; (h = host.NewHandle("x")) != 0;) hogs.push_back(h);
        }
        return evaluator.Evaluate(e, v);
    });
    const std::size_t before = host.OccupiedHandles();
    for (const char* name : {"GETRECSTR", "HASHRECORD", "CRCRECORD"}) {
        const CallResult r = host.Call(name, {Value::Of("orders")});
        EXPECT_EQ(r.error, abi::kErrorCannotGrow) << name;
        for (abi::MemHandle h : hogs) host.FreeHandle(h);
        hogs.clear();
        EXPECT_EQ(host.OccupiedHandles(), before) << name;
    }
}

}  // namespace
}  // namespace mg::testing
