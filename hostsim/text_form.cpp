#include "hostsim/text_form.h"

#include <charconv>
#include <cmath>

#include "hostsim/calendar.h"

namespace mg::hostsim {
namespace {

std::string TwoDigits(int n) {
    char text[3] = {static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10), 0};
    return text;
}

std::string CurrencyText(std::int64_t tenThousandths) {
    // Kept in integers: a double would lose the last places of large amounts.
    const bool negative = tenThousandths < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(tenThousandths) : static_cast<std::uint64_t>(tenThousandths);
    const std::string fraction = std::to_string(magnitude % 10000);
    std::string text = negative ? "-" : "";
    text += std::to_string(magnitude / 10000);
    text += '.';
    text.append(4 - fraction.size(), '0');
    text += fraction;
    return text;
}

std::string TimeText(std::int32_t milliseconds) {
    const int seconds = milliseconds / 1000;
    const int hour = seconds / 3600 % 24;
    const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
    return TwoDigits(hour12) + ":" + TwoDigits(seconds / 60 % 60) + ":" + TwoDigits(seconds % 60) +
           (hour < 12 ? " AM" : " PM");
}

}  // namespace

std::string FixedText(double value, int decimals) {
    if (!std::isfinite(value)) return value != value ? "NaN" : (value < 0 ? "-Inf" : "Inf");
    // A field holds at most 18 decimals; more would only pad with zeros.
    decimals = decimals < 0 ? 0 : (decimals > 18 ? 18 : decimals);
    char text[400];
    const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    std::string s(text, r.ptr);
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    return s;
}

std::string DateText(std::int32_t julianDay, const TextSettings& settings) {
    if (julianDay == 0) return settings.century ? "  /  /    " : "  /  /  ";
    const CivilDate d = CivilFromJulianDay(julianDay);
    std::string year = settings.century ? std::to_string(d.year) : TwoDigits(d.year % 100);
    if (settings.century) year.insert(0, year.size() < 4 ? 4 - year.size() : 0, '0');
    return TwoDigits(d.month) + "/" + TwoDigits(d.day) + "/" + year;
}

std::string TextForm(const FieldDef& field, const Cell& cell, const TextSettings& settings) {
    if (cell.null) return ".NULL.";
    switch (field.type) {
        case 'N':
        case 'F':
        case 'B': return FixedText(cell.number, field.decimals);
        case 'I': return std::to_string(cell.integer);
        case 'Y': return CurrencyText(cell.currency);
        case 'D': return DateText(cell.day, settings);
        case 'T':
            return cell.day == 0 ? DateText(0, settings) : DateText(cell.day, settings) + " " + TimeText(cell.milliseconds);
        case 'L': return cell.logical ? ".T." : ".F.";
        default: return cell.bytes;  // C, V, Q, M, W
    }
}

}  // namespace mg::hostsim
