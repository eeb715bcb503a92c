// GETRECSTR, HASHRECORD and CRCRECORD on tables open in the substitute host.
#include "host_fixture.h"

namespace mg::testing {
namespace {

using hostsim::Cell;
using hostsim::Field;
using hostsim::FieldDef;
using hostsim::Table;

std::vector<std::string> Strings(std::initializer_list<const char*> items) { return {items.begin(), items.end()}; }

class Records : public TableHostTest {
protected:
    std::string Rec(const std::string& alias) { return Bytes("GETRECSTR", {C(alias)}); }
    std::string Rec(const std::string& alias, Value memo) { return Bytes("GETRECSTR", {C(alias), memo}); }
};

TEST_F(Records, TheExactExpressionsSent) {
    areas.Open(Orders(), "orders");
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

    host.ClearExpressions();
    areas.Select("orders");
    Bytes("GETRECSTR", {C(""), L(true)});
    EXPECT_EQ(host.Expressions()[1], "FLDCOUNT('ORDERS')") << "the alias the host returned, not the caller's text";

    // Field numbers past 9 are written in plain decimal.
    std::vector<FieldDef> many;
    std::vector<Cell> cells;
    for (int i = 1; i <= 12; ++i) {
        many.push_back(Field("F" + std::to_string(i), 'C', 1));
        cells.push_back(Cell::Text(std::string(1, static_cast<char>('a' + i - 1))));
    }
    Table wide(many);
    wide.Append(cells);
    areas.Open(std::move(wide), "wide");
    host.ClearExpressions();
    EXPECT_EQ(Rec("wide", L(true)), "abcdefghijkl");
    EXPECT_EQ(host.Expressions().back(), "TRANSFORM(EVALUATE('WIDE.'+FIELD(12,'WIDE')))");
}

TEST_F(Records, ATableOpenButNotSelected) {
    areas.Open(Orders(), "orders");
    Table other({Field("NAME", 'C', 4), Field("CITY", 'C', 4)});
    other.Append({Cell::Text("Bo"), Cell::Text("Oslo")});
    areas.Open(std::move(other), "people");
    areas.Select("people");
    EXPECT_EQ(Rec("orders"), "7ACME  19.90") << "field names come from ORDERS, not the selected PEOPLE";
    EXPECT_EQ(Rec(""), "Bo  Oslo");
}

TEST_F(Records, MemosCountOnlyWhenAskedForWithTruthValueOne) {
    areas.Open(Orders("ACME", "first"), "one");
    areas.Open(Orders("ACME", "second"), "two");
    EXPECT_EQ(Rec("one", L(true)), "7ACME  first19.90");
    EXPECT_EQ(Rec("one"), "7ACME  19.90");
    for (const Value& memo : {Value::Bool(false), Value::Truth(2), Value::Truth(0x101), Value::Truth(-1)}) {
        EXPECT_EQ(Rec("one", memo), "7ACME  19.90") << memo.truth;
        EXPECT_EQ(Bytes("HASHRECORD", {C("one"), I(5), memo}), Bytes("HASHRECORD", {C("two"), I(5), memo}));
        EXPECT_EQ(Returned("CRCRECORD", {C("one"), I(2), memo}).number, Returned("CRCRECORD", {C("two"), I(2), memo}).number);
    }
    EXPECT_NE(Bytes("HASHRECORD", {C("one"), I(5), L(true)}), Bytes("HASHRECORD", {C("two"), I(5), L(true)}));
    EXPECT_NE(Returned("CRCRECORD", {C("one"), I(2), L(true)}).number, Returned("CRCRECORD", {C("two"), I(2), L(true)}).number);
}

TEST_F(Records, ATableWithoutFields) {
    areas.Open(Table(std::vector<FieldDef>{}), "empty");
    EXPECT_EQ(Rec("empty", L(true)), "");
    // MD5 of the empty message, RFC 1321 appendix A.5.
    EXPECT_EQ(Bytes("HASHRECORD", {C("empty"), I(5)}), Unhex("d41d8cd98f00b204e9800998ecf8427e"));
    const Value crc32 = Returned("CRCRECORD", {C("empty")});
    EXPECT_EQ(crc32.kind, Value::Kind::Number);
    EXPECT_EQ(crc32.number, 0.0);
    const Value crc16 = Returned("CRCRECORD", {C("empty"), I(1)});
    EXPECT_EQ(crc16.kind, Value::Kind::Integer);
    EXPECT_EQ(crc16.integer, 0);
}

TEST_F(Records, UnresolvableAliases) {
    areas.Open(Orders(), "orders");
    areas.Select(2);  // empty: a text up to its first NUL that is empty names it
    for (const std::string& alias :
         std::vector<std::string>{"nosuch", "", "a'b\"c[d", "x]'\"", std::string("\0orders", 7)}) {
        host.ClearExpressions();
        EXPECT_EQ(Rec(alias), "") << alias;
        EXPECT_EQ(Bytes("HASHRECORD", {C(alias), I(2)}), "");
        for (int type : {1, 2, 0}) {
            const Value crc = Returned("CRCRECORD", {C(alias), I(type)});
            EXPECT_EQ(crc.kind, Value::Kind::Integer) << "0 is an integer even with type " << type;
            EXPECT_EQ(crc.integer, 0);
            EXPECT_EQ(crc.width, 10);
        }
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
    areas.Open(Orders(), "orders");
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
    EXPECT_EQ(Returned("CRCRECORD", {C(""), I(2)}).kind, Value::Kind::Integer);
    EXPECT_EQ(host.Expressions(), Strings({"ALIAS()", "ALIAS()"}));
}

TEST_F(Records, HashAndCrcOfRecordsEqualThoseOfTheirRecordStrings) {
    areas.Open(Orders(), "orders");
    for (bool memo : {false, true}) {
        const std::string record = Rec("orders", L(memo));
        for (int type = 1; type <= 7; ++type) {
            EXPECT_EQ(Bytes("HASHRECORD", {C("orders"), I(type), L(memo)}), Bytes("HASH", {C(record), I(type)})) << type;
        }
        for (int type : {1, 2}) {
            const Value r = Returned("CRCRECORD", {C("orders"), I(type), L(memo)});
            const Value s = Returned("CRC", {C(record), I(type)});
            EXPECT_EQ(r.kind, s.kind);
            EXPECT_EQ(r.integer, s.integer);
            EXPECT_EQ(r.number, s.number);
            EXPECT_EQ(r.width, 10);
        }
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
    areas.Open(Orders(), "orders");
    struct Case {
        std::int32_t status;
        Value count;
        std::string record;
    };
    const Case cases[] = {
        {1, Value{}, ""},                    // a failed count gives the empty record string
        {0, Value::Of("4"), ""},             // a character count is no count, and its handle is freed
        {0, Value::Num(2, 10, 0), "7ACME  "},  // a whole number is
        {0, Value::Num(2.5, 10, 1), ""},
        {0, Value::Int(-3), ""},
    };
    for (const Case& c : cases) {
        Answer([&c](const std::string& e, Value& v, std::int32_t& status) {
            status = c.status;
            v = c.count;
            return e.rfind("FLDCOUNT", 0) == 0;
        });
        EXPECT_EQ(Rec("orders"), c.record) << c.status << " " << static_cast<int>(c.count.kind);
    }
}

TEST_F(FailingHost, AFailedFieldIsSkipped) {
    areas.Open(Orders(), "orders");
    Answer([](const std::string& e, Value&, std::int32_t& status) {
        status = 12;
        return e == "TRANSFORM(EVALUATE('ORDERS.'+FIELD(2,'ORDERS')))" || e == "TYPE('ORDERS.'+FIELD(4,'ORDERS'))='M'";
    });
    EXPECT_EQ(Rec("orders"), "7");
    EXPECT_EQ(Rec("orders", L(true)), "7call first19.90");
}

TEST_F(FailingHost, ResultsOfTheWrongKindAreFreedAndIgnored) {
    areas.Open(Orders(), "orders");
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
    areas.Open(Orders(), "orders");
    // The host writes into the result and then reports a failure: the handle
    // it left there is the host's own and must survive the call.
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
    // Room for the alias argument, the host's result handles and no more:
    // the evaluator takes the last free entries while it counts the fields.
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
