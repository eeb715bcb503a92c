#include "hostsim/field.h"

#include <stdexcept>

#include "hostsim/calendar.h"

namespace mg::hostsim {

FieldDef Field(std::string name, char type, int width, int decimals) {
    FieldDef f;
    f.name = std::move(name);
    for (char& c : f.name) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    f.type = type;
    f.decimals = decimals;
    switch (type) {
        case 'I': case 'M': case 'W': f.width = 4; break;
        case 'B': case 'Y': case 'D': case 'T': f.width = 8; break;
        case 'L': f.width = 1; break;
        default: f.width = width; break;
    }
    if (type == 'Y') f.decimals = 4;
    return f;
}

Cell Cell::Date(int year, int month, int day) {
    if (!IsValidDate(year, month, day)) throw std::invalid_argument("no such date");
    Cell c;
    c.day = JulianDay(year, month, day);
    return c;
}

Cell Cell::DateTime(int year, int month, int day, int hour, int minute, int second) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
        throw std::invalid_argument("no such time");
    }
    Cell c = Date(year, month, day);
    c.milliseconds = ((hour * 60 + minute) * 60 + second) * 1000;
    return c;
}

}  // namespace mg::hostsim
