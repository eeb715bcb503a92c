#ifndef MG_HOSTSIM_TEXT_FORM_H
#define MG_HOSTSIM_TEXT_FORM_H

#include <string>

#include "hostsim/field.h"

namespace mg::hostsim {

// Session settings that change how values read as text.
struct TextSettings {
    bool century = false;  // dates with four-digit years
};

// The host's default text form of a field value: what TRANSFORM gives for it
// without a format, and so what a record string is made of. The one place
// where these forms are decided:
//
//   C       the value as stored, trailing blanks included ("AB  " in C(4))
//   V       the value as stored (a varchar keeps no padding)
//   Q, W    the bytes as stored, unconverted
//   M       the memo's text, as stored
//   N, F    the number with the field's decimals, no padding: 12.5 in N(8,2)
//           is "12.50", -3 in N(5,0) is "-3"; negative zero reads "0"
//   B       as N, with the decimals of the field's definition
//   I       the integer in decimal: "-42"
//   Y       the amount with four decimals, no currency sign: "12.3400"
//   D       MM/DD/YY ("03/09/24"), or MM/DD/YYYY with the century setting;
//           a blank date is "  /  /  " (or "  /  /    ")
//   T       the date as D, a blank, then the 12-hour time hh:mm:ss and AM or
//           PM ("03/09/24 01:05:00 PM"; midnight is 12:00:00 AM); a blank
//           datetime reads as a blank date
//   L       ".T." or ".F."
//   any field holding null: ".NULL."
std::string TextForm(const FieldDef& field, const Cell& cell, const TextSettings& settings);

// A number with exactly `decimals` decimals, in the C locale, no padding.
std::string FixedText(double value, int decimals);
// A date (Julian day number, 0 for blank) as the host writes it.
std::string DateText(std::int32_t julianDay, const TextSettings& settings);

}  // namespace mg::hostsim

#endif
