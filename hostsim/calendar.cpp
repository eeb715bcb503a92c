#include "hostsim/calendar.h"

namespace mg::hostsim {

bool IsValidDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

std::int32_t JulianDay(int year, int month, int day) {
    // Fliegel and Van Flandern; every division truncates, as the formula expects.
    const std::int64_t y = year, m = month, d = day;
    const std::int64_t a = (m - 14) / 12;
    return static_cast<std::int32_t>((1461 * (y + 4800 + a)) / 4 + (367 * (m - 2 - 12 * a)) / 12 -
                                     (3 * ((y + 4900 + a) / 100)) / 4 + d - 32075);
}

CivilDate CivilFromJulianDay(std::int32_t julianDay) {
    // Richards' inverse of the formula above, valid for every positive day number.
    const std::int64_t j = julianDay;
    const std::int64_t f = j + 1401 + (((4 * j + 274277) / 146097) * 3) / 4 - 38;
    const std::int64_t e = 4 * f + 3;
    const std::int64_t g = (e % 1461) / 4;
    const std::int64_t h = 5 * g + 2;
    CivilDate date;
    date.day = static_cast<int>((h % 153) / 5 + 1);
    date.month = static_cast<int>((h / 153 + 2) % 12 + 1);
    date.year = static_cast<int>(e / 1461 - 4716 + (12 + 2 - date.month) / 12);
    return date;
}

}  // namespace mg::hostsim
