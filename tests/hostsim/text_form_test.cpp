#include <gtest/gtest.h>

#include "hostsim/calendar.h"
#include "hostsim/text_form.h"

namespace mg::hostsim {
namespace {

TEST(Calendar, KnownJulianDays) {
    // Day numbers from the Julian-day tables of the astronomical almanac.
    struct {
        int y, m, d;
        std::int32_t jd;
    } const kDays[] = {
        {2000, 1, 1, 2451545}, {1970, 1, 1, 2440588}, {1582, 10, 15, 2299161},
        {1, 1, 1, 1721426},    {9999, 12, 31, 5373484}, {2024, 2, 29, 2460370},
    };
    for (const auto& k : kDays) {
        EXPECT_EQ(JulianDay(k.y, k.m, k.d), k.jd) << k.y << "-" << k.m << "-" << k.d;
        const CivilDate back = CivilFromJulianDay(k.jd);
        EXPECT_TRUE(back.year == k.y && back.month == k.m && back.day == k.d) << k.jd;
    }
}

TEST(Calendar, EveryDayRoundTripsAndFollowsTheLast) {
    std::int32_t previous = JulianDay(1899, 12, 31);
    for (int y = 1900; y <= 2100; ++y) {
        for (int m = 1; m <= 12; ++m) {
            for (int d = 1; d <= 31; ++d) {
                if (!IsValidDate(y, m, d)) continue;
                const std::int32_t jd = JulianDay(y, m, d);
                ASSERT_EQ(jd, previous + 1) << y << "-" << m << "-" << d;
                const CivilDate c = CivilFromJulianDay(jd);
                ASSERT_TRUE(c.year == y && c.month == m && c.day == d) << jd;
                previous = jd;
            }
        }
    }
}

// Month lengths and leap years are covered by the day-by-day walk.
TEST(Calendar, ValidDates) {
    EXPECT_FALSE(IsValidDate(2023, 13, 1));
    EXPECT_FALSE(IsValidDate(0, 1, 1));
    EXPECT_FALSE(IsValidDate(10000, 1, 1));
    EXPECT_THROW(Cell::Date(2023, 2, 29), std::invalid_argument);
    EXPECT_THROW(Cell::DateTime(2023, 2, 28, 24, 0, 0), std::invalid_argument);
}

TEST(TextForm, EachTypeReadsAsTheHostWritesIt) {
    const TextSettings plain;
    struct {
        FieldDef field;
        Cell cell;
        const char* text;
    } const kCases[] = {
        {Field("RAW", 'Q', 6), Cell::Text(std::string("a\0b", 3)), "a\0b"},
        {Field("NOTES", 'M'), Cell::Text("line 1\r\nline 2"), "line 1\r\nline 2"},
        {Field("AMOUNT", 'N', 8, 2), Cell::Number(-0.001), "0.00"},
        {Field("RATE", 'F', 10, 3), Cell::Number(2.0005), "2.001"},  // 2.0005 is stored just above
        {Field("RATIO", 'B', 0, 4), Cell::Number(1.0 / 3), "0.3333"},
        {Field("COUNT", 'I'), Cell::Integer(-2147483647 - 1), "-2147483648"},
        {Field("PRICE", 'Y'), Cell::Currency(123400), "12.3400"},
        {Field("PRICE", 'Y'), Cell::Currency(-5), "-0.0005"},
        {Field("PRICE", 'Y'), Cell::Currency(INT64_MIN), "-922337203685477.5808"},
        {Field("DUE", 'D'), Cell{}, "  /  /  "},
        {Field("SEEN", 'T'), Cell::DateTime(2024, 3, 9, 13, 5, 0), "03/09/24 01:05:00 PM"},
        {Field("SEEN", 'T'), Cell::DateTime(1999, 12, 31, 0, 0, 7), "12/31/99 12:00:07 AM"},
        {Field("SEEN", 'T'), Cell::DateTime(1999, 12, 31, 12, 0, 0), "12/31/99 12:00:00 PM"},
        {Field("SEEN", 'T'), Cell{}, "  /  /  "},
        {Field("AMOUNT", 'N', 8, 2), Cell::Null(), ".NULL."},
    };
    for (const auto& k : kCases) {
        const std::string expected(k.text, std::char_traits<char>::length(k.text) + (k.field.type == 'Q' ? 2 : 0));
        EXPECT_EQ(TextForm(k.field, k.cell, plain), expected) << k.field.name << " " << k.field.type;
    }
}

TEST(TextForm, TheCenturySettingWidensYears) {
    TextSettings century;
    century.century = true;
    EXPECT_EQ(TextForm(Field("DUE", 'D'), Cell::Date(5, 1, 2), century), "01/02/0005");
    EXPECT_EQ(TextForm(Field("DUE", 'D'), Cell{}, century), "  /  /    ");
    EXPECT_EQ(TextForm(Field("SEEN", 'T'), Cell::DateTime(1905, 7, 4, 23, 59, 59), century), "07/04/1905 11:59:59 PM");
}

TEST(TextForm, FixedTextIsLocaleFreeAndBounded) {
    EXPECT_EQ(FixedText(1234567.891, 2), "1234567.89");
    EXPECT_EQ(FixedText(1e20, 0), "100000000000000000000");
    EXPECT_EQ(FixedText(-0.0, 3), "0.000");
    EXPECT_EQ(FixedText(0.5, 0), "0");  // exact halves round to even, as the C library does
    EXPECT_EQ(FixedText(1.5, 0), "2");
    EXPECT_EQ(FixedText(1e308, 255).size(), 309u + 1 + 18);
}

}  // namespace
}  // namespace mg::hostsim
