#ifndef MG_HOSTSIM_CALENDAR_H
#define MG_HOSTSIM_CALENDAR_H

#include <cstdint>

namespace mg::hostsim {

// Dates are kept as Julian day numbers, as the host's datetime fields store
// them (2000-01-01 is day 2451545), in the proleptic Gregorian calendar.
struct CivilDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

bool IsValidDate(int year, int month, int day);  // years 1 to 9999
std::int32_t JulianDay(int year, int month, int day);
CivilDate CivilFromJulianDay(std::int32_t julianDay);

}  // namespace mg::hostsim

#endif
