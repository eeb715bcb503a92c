#include <gtest/gtest.h>

#include <cstring>

#include "hostsim/dbf_reader.h"
#include "hostsim/dbf_writer.h"
#include "hostsim/text_form.h"
#include "tests/hostsim/temp_dir.h"

namespace mg::hostsim {
namespace {

using mg::testing::Slurp;
using mg::testing::Spill;
using mg::testing::TempDir;
using Bytes = std::vector<unsigned char>;

// Table-file images put together byte by byte, independently of the writer.
void Put(Bytes& b, std::size_t at, const std::string& s) { std::memcpy(&b[at], s.data(), s.size()); }
void Le(Bytes& b, std::size_t at, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
}
void Be(Bytes& b, std::size_t at, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(v >> (8 * (n - 1 - i)));
}
void Describe(Bytes& b, int index, const std::string& name, char type, int offset, int width, int decimals = 0,
              int flags = 0) {
    const std::size_t at = 32 + 32 * static_cast<std::size_t>(index);
    Put(b, at, name);
    b[at + 11] = static_cast<unsigned char>(type);
    Le(b, at + 12, static_cast<std::uint32_t>(offset), 4);
    b[at + 16] = static_cast<unsigned char>(width);
    b[at + 17] = static_cast<unsigned char>(decimals);
    b[at + 18] = static_cast<unsigned char>(flags);
}

// dBase III: NAME C(5), QTY N(5,1), DUE D, OK L; two records, the second deleted.
Bytes DBase3Image() {
    const std::size_t header = 32 + 4 * 32 + 1, record = 1 + 5 + 5 + 8 + 1;
    Bytes b(header + 2 * record + 1, ' ');
    std::fill(b.begin(), b.begin() + static_cast<long>(header), 0);
    b[0] = 0x03;
    Le(b, 4, 2, 4);
    Le(b, 8, header, 2);
    Le(b, 10, record, 2);
    Describe(b, 0, "NAME", 'C', 0, 5);
    Describe(b, 1, "QTY", 'N', 0, 5, 1);
    Describe(b, 2, "DUE", 'D', 0, 8);
    Describe(b, 3, "OK", 'L', 0, 1);
    b[header - 1] = 0x0D;
    Put(b, header, " Ann   12.520240229T");
    Put(b, header + record, "*Bo    -3.0        ?");
    b.back() = 0x1A;
    return b;
}

// The host's form: ID I, NOTES M, NICK V(6) nullable, and the null flags;
// memos in 64-byte blocks, the first at block 8.
Bytes HostImage() {
    const std::size_t header = 32 + 4 * 32 + 1 + 263, record = 1 + 4 + 4 + 6 + 1;
    Bytes b(header + 2 * record + 1, 0);
    b[0] = 0x32;
    Le(b, 4, 2, 4);
    Le(b, 8, header, 2);
    Le(b, 10, record, 2);
    b[28] = 0x02;
    Describe(b, 0, "ID", 'I', 1, 4);
    Describe(b, 1, "NOTES", 'M', 5, 4);
    Describe(b, 2, "NICK", 'V', 9, 6, 0, 0x02);
    Describe(b, 3, "_NullFlags", '0', 15, 1, 0, 0x05);
    b[32 + 4 * 32] = 0x0D;
    std::size_t r = header;
    b[r] = ' ';
    Le(b, r + 1, 7, 4);
    Le(b, r + 5, 8, 4);
    Put(b, r + 9, "Bo");
    b[r + 14] = 2;     // NICK holds 2 bytes...
    b[r + 15] = 0x01;  // ...which its length bit says
    r += record;
    b[r] = ' ';
    Le(b, r + 1, 0xFFFFFFFFu, 4);
    Le(b, r + 5, 0, 4);  // no memo
    b[r + 15] = 0x02;    // NICK is null
    b.back() = 0x1A;
    return b;
}

Bytes MemoImage() {
    Bytes m(512 + 64, 0);
    Be(m, 0, 9, 4);
    Be(m, 6, 64, 2);
    Be(m, 512, 1, 4);
    Be(m, 516, 10, 4);
    Put(m, 520, "hello memo");
    return m;
}

// The table the dBase III image holds; its unknown logical reads false.
Table Parts() {
    Table t({Field("NAME", 'C', 5), Field("QTY", 'N', 5, 1), Field("DUE", 'D'), Field("OK", 'L')});
    t.Append({Cell::Text("Ann"), Cell::Number(12.5), Cell::Date(2024, 2, 29), Cell::Logical(true)});
    t.Append({Cell::Text("Bo"), Cell::Number(-3), Cell{}, Cell::Logical(false)});
    t.SetDeleted(2, true);
    return t;
}

// The same fields, deletion marks, and every cell as the host shows it.
void ExpectSameTable(const Table& expected, const Table& actual) {
    ASSERT_EQ(actual.Fields().size(), expected.Fields().size());
    ASSERT_EQ(actual.RecordCount(), expected.RecordCount());
    TextSettings century;
    century.century = true;
    for (std::size_t i = 0; i < expected.Fields().size(); ++i) {
        const FieldDef &f = expected.Fields()[i], &a = actual.Fields()[i];
        EXPECT_TRUE(a.name == f.name && a.type == f.type && a.width == f.width && a.decimals == f.decimals &&
                    a.nullable == f.nullable)
            << f.name;
        for (std::size_t r = 1; r <= expected.RecordCount(); ++r) {
            EXPECT_EQ(actual.At(r, i).null, expected.At(r, i).null) << f.name << " " << r;
            EXPECT_EQ(TextForm(f, actual.At(r, i), century), TextForm(f, expected.At(r, i), century)) << f.name << " " << r;
        }
    }
    for (std::size_t r = 1; r <= expected.RecordCount(); ++r) EXPECT_EQ(actual.Deleted(r), expected.Deleted(r)) << r;
}

class TableFiles : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(TableFiles, ReadsTheDBase3Form) {
    Spill(dir.File("parts.dbf"), DBase3Image());
    ExpectSameTable(Parts(), ReadDbf(dir.File("parts.dbf")));
}

TEST_F(TableFiles, ReadsTheHostFormWithMemosVaryingFieldsAndNulls) {
    Spill(dir.File("people.dbf"), HostImage());
    Spill(dir.File("people.fpt"), MemoImage());
    FieldDef nick = Field("NICK", 'V', 6);
    nick.nullable = true;
    Table expected({Field("ID", 'I'), Field("NOTES", 'M'), nick});  // the null flags stay hidden
    expected.Append({Cell::Integer(7), Cell::Text("hello memo"), Cell::Text("Bo")});
    expected.Append({Cell::Integer(-1), Cell{}, Cell::Null()});
    ExpectSameTable(expected, ReadDbf(dir.File("people.dbf")));
}

TEST_F(TableFiles, MemoFileNameFollowsTheTableFileCase) {
    Spill(dir.File("UPPER.DBF"), HostImage());
    Spill(dir.File("UPPER.FPT"), MemoImage());
    EXPECT_EQ(ReadDbf(dir.File("UPPER.DBF")).At(1, 1).bytes, "hello memo");
}

// Every way a file can be damaged gives an error rather than made-up values.
TEST_F(TableFiles, DamagedFilesAreRefused) {
    struct Damage {
        const char* what;
        void (*apply)(Bytes& table, Bytes& memo);
        bool dBase3 = false;  // damages the dBase III image, which has no memo file
    };
    const Damage kDamages[] = {
        {"unknown version", [](Bytes& t, Bytes&) { t[0] = 0x8B; }},
        {"records cut short", [](Bytes& t, Bytes&) { t.resize(t.size() - 10); }},
        {"record length off", [](Bytes& t, Bytes&) { t[10] += 1; }},
        {"header length beyond the file", [](Bytes& t, Bytes&) { Le(t, 8, 0xFFFF, 2); }},
        {"no end of the field list", [](Bytes& t, Bytes&) { t[32 + 4 * 32] = 'X'; }},
        {"unknown field type", [](Bytes& t, Bytes&) { t[32 + 11] = 'Z'; }},
        {"wrong width of a fixed type", [](Bytes& t, Bytes&) { t[32 + 16] = 3; }},
        {"memo block outside the memo file", [](Bytes& t, Bytes&) { Le(t, 32 + 4 * 32 + 1 + 263 + 5, 99, 4); }},
        {"memo block inside the memo header", [](Bytes& t, Bytes&) { Le(t, 32 + 4 * 32 + 1 + 263 + 5, 3, 4); }},
        {"memo longer than its file", [](Bytes&, Bytes& m) { Be(m, 516, 1000, 4); }},
        {"memo block size 0", [](Bytes&, Bytes& m) { Be(m, 6, 0, 2); }},
        {"memo header cut short", [](Bytes&, Bytes& m) { m.resize(100); }},
        {"varying length beyond the width", [](Bytes& t, Bytes&) { t[32 + 4 * 32 + 1 + 263 + 14] = 6; }},
        {"no deletion mark", [](Bytes& t, Bytes&) { t[32 + 4 * 32 + 1 + 263] = 'x'; }},
        {"null flags missing", [](Bytes& t, Bytes&) { t[32 + 3 * 32 + 11] = 'C'; t[32 + 3 * 32 + 18] = 0; }},
        {"a number that is not one", [](Bytes& t, Bytes&) { Put(t, 32 + 4 * 32 + 1 + 6, "1x2.5"); }, true},
        {"a date that does not exist", [](Bytes& t, Bytes&) { Put(t, 32 + 4 * 32 + 1 + 11, "20230229"); }, true},
        {"a memo in the dBase III form", [](Bytes& t, Bytes&) { t[32 + 11] = 'M'; }, true},
    };
    for (const Damage& d : kDamages) {
        Bytes table = d.dBase3 ? DBase3Image() : HostImage(), memo = MemoImage();
        d.apply(table, memo);
        Spill(dir.File("bad.dbf"), table);
        if (!d.dBase3) Spill(dir.File("bad.fpt"), memo);
        else std::filesystem::remove(dir.File("bad.fpt"));
        EXPECT_THROW(ReadDbf(dir.File("bad.dbf")), std::runtime_error) << d.what;
    }

    Spill(dir.File("nomemo.dbf"), HostImage());
    EXPECT_THROW(ReadDbf(dir.File("nomemo.dbf")), std::runtime_error) << "memo file missing";
    EXPECT_THROW(ReadDbf(dir.File("absent.dbf")), std::runtime_error);
    Spill(dir.File("tiny.dbf"), Bytes(20, 0x03));
    EXPECT_THROW(ReadDbf(dir.File("tiny.dbf")), std::runtime_error);
}

Table EveryType() {
    FieldDef nick = Field("NICK", 'V', 8);
    nick.nullable = true;
    FieldDef paid = Field("PAID", 'L');
    paid.nullable = true;
    Table t({Field("NAME", 'C', 6), Field("AMOUNT", 'N', 9, 2), Field("RATE", 'F', 12, 4), Field("COUNT", 'I'),
             Field("RATIO", 'B', 0, 3), Field("PRICE", 'Y'), Field("DUE", 'D'), Field("SEEN", 'T'), paid,
             Field("NOTES", 'M'), nick, Field("RAW", 'Q', 4), Field("PIC", 'W')});
    t.Append({Cell::Text("Ann"), Cell::Number(-1234.5), Cell::Number(3.1416), Cell::Integer(-7), Cell::Number(0.125),
              Cell::Currency(-123456789), Cell::Date(1999, 12, 31), Cell::DateTime(2024, 3, 9, 13, 5, 7),
              Cell::Logical(true), Cell::Text(std::string(200, 'm') + "\r\nend"), Cell::Text("Annie"),
              Cell::Text(std::string("\0\1\2\3", 4)), Cell::Text(std::string("\x89PNG\0", 5))});
    t.Append({Cell::Text("Bo"), Cell::Number(0), Cell::Number(0), Cell::Integer(0), Cell::Number(0), Cell::Currency(0),
              Cell{}, Cell{}, Cell::Null(), Cell{}, Cell::Null(), Cell::Text("ab"), Cell{}});
    t.Append({Cell::Text("Cy"), Cell::Number(999999.99), Cell::Number(-0.5), Cell::Integer(2147483647),
              Cell::Number(-1e300), Cell::Currency(INT64_MAX), Cell::Date(1, 1, 1), Cell::DateTime(9999, 12, 31, 23, 59, 59),
              Cell::Logical(false), Cell::Text("x"), Cell::Text("12345678"), Cell{}, Cell::Text(std::string(3000, 'b'))});
    t.SetDeleted(2, true);
    return t;
}

TEST_F(TableFiles, HostFormRoundTripsEveryType) {
    WriteDbf(EveryType(), dir.File("all.dbf"), DbfForm::kHost);
    const Table out = ReadDbf(dir.File("all.dbf"));
    ExpectSameTable(EveryType(), out);
    EXPECT_EQ(out.At(1, 4).number, 0.125) << "doubles keep every bit";
}

// What the round trip cannot show: marks that only other readers of the
// files look at.
TEST_F(TableFiles, WrittenHeadersCarryTheHostsMarks) {
    WriteDbf(EveryType(), dir.File("all.dbf"), DbfForm::kHost, 32);
    const Bytes t = Slurp(dir.File("all.dbf"));
    EXPECT_EQ(t[0], 0x32) << "varying fields mark the version";
    EXPECT_EQ(t[28], 0x02);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&t[32 + 32 * 13]), 10), "_NullFlags");
    EXPECT_EQ(t[32 + 32 * 13 + 18], 0x05);
    EXPECT_EQ(t.back(), 0x1A);

    const Bytes m = Slurp(dir.File("all.fpt"));
    EXPECT_EQ(m[6] << 8 | m[7], 32);
    EXPECT_EQ(static_cast<std::size_t>(m[0] << 24 | m[1] << 16 | m[2] << 8 | m[3]), m.size() / 32) << "next free block";
    EXPECT_EQ(m[512 + 3], 1) << "the first memo is text";

    Table plain({Field("NAME", 'C', 6), Field("NOTES", 'M')});
    WriteDbf(plain, dir.File("plain.dbf"), DbfForm::kHost);
    EXPECT_EQ(Slurp(dir.File("plain.dbf"))[0], 0x30);
}

TEST_F(TableFiles, WritesTheDBase3FormAndRefusesWhatItCannotHold) {
    WriteDbf(Parts(), dir.File("parts.dbf"), DbfForm::kDBase3);
    Bytes written = Slurp(dir.File("parts.dbf"));
    Bytes expected = DBase3Image();
    // The hand-made image leaves the update date and the unknown logical as they were.
    std::memcpy(&written[1], &expected[1], 3);
    expected[expected.size() - 2] = 'F';
    EXPECT_EQ(written, expected);
    EXPECT_FALSE(std::filesystem::exists(dir.File("parts.fpt")));

    Table wide({Field("COUNT", 'I')});
    EXPECT_THROW(WriteDbf(wide, dir.File("x.dbf"), DbfForm::kDBase3), std::runtime_error);
    Table longName({Field("ELEVENCHARS", 'C', 3)});
    EXPECT_THROW(WriteDbf(longName, dir.File("x.dbf"), DbfForm::kHost), std::runtime_error);
    Table tooBig({Field("QTY", 'N', 4, 1)});
    tooBig.Append({Cell::Number(1000)});
    EXPECT_THROW(WriteDbf(tooBig, dir.File("x.dbf"), DbfForm::kHost), std::runtime_error);
}

TEST(TableRecords, ValuesAreStoredAsTheHostStoresThem) {
    Table t({Field("NAME", 'C', 4), Field("NICK", 'V', 3)});
    t.Append({Cell::Text("AB"), Cell::Text("ABCDE")});
    EXPECT_EQ(t.At(1, 0).bytes, "AB  ");
    EXPECT_EQ(t.At(1, 1).bytes, "ABC");
    t.Set(1, 0, Cell::Text("TOOLONG"));
    EXPECT_EQ(t.At(1, 0).bytes, "TOOL");
    EXPECT_THROW(t.Append({Cell::Text("x")}), std::invalid_argument);
    EXPECT_THROW(t.Set(1, 0, Cell::Null()), std::invalid_argument) << "the field does not take null";

    t.Go(2);
    EXPECT_TRUE(t.Eof());
    EXPECT_EQ(t.Current(0).bytes, "    ") << "a blank record at the end of the table";
    t.Go(1);
    EXPECT_EQ(t.Current(0).bytes, "TOOL");
}

}  // namespace
}  // namespace mg::hostsim
