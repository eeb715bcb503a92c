#ifndef MG_HOSTSIM_FIELD_H
#define MG_HOSTSIM_FIELD_H

#include <cstdint>
#include <string>

namespace mg::hostsim {

// One column of a table, as a table header describes it.
//
// Types: C character (fixed width, blank-padded), N numeric and F float (text
// of `width` characters with `decimals`), I integer, B double (with
// `decimals`), Y currency, D date, T datetime, L logical, M memo; the
// varying kinds V varchar and Q varbinary (up to `width` bytes) and W blob
// (in the memo file) hold bytes.
struct FieldDef {
    std::string name;  // upper case
    char type = 'C';
    int width = 0;     // bytes the field takes in a record
    int decimals = 0;  // N, F, B
    bool nullable = false;
    bool binary = false;  // C and M kept without code-page translation

    bool IsMemoKind() const { return type == 'M' || type == 'W'; }
    bool IsVarying() const { return type == 'V' || type == 'Q'; }
};

// A field of `type`; the fixed-size types get their own width, so `width`
// matters only for C, N, F, V and Q.
FieldDef Field(std::string name, char type, int width = 0, int decimals = 0);

// The value of one field in one record. Which member counts follows the
// field's type; a default-constructed cell is the blank value of every type.
struct Cell {
    bool null = false;
    std::string bytes;            // C, V, Q, M, W
    double number = 0;            // N, F, B
    std::int32_t integer = 0;     // I
    std::int64_t currency = 0;    // Y, in ten-thousandths
    std::int32_t day = 0;         // D, T: Julian day number, 0 when blank
    std::int32_t milliseconds = 0;// T: since midnight
    bool logical = false;         // L

    static Cell Text(std::string b) {
        Cell c;
        c.bytes = std::move(b);
        return c;
    }
    static Cell Number(double n) {
        Cell c;
        c.number = n;
        return c;
    }
    static Cell Integer(std::int32_t i) {
        Cell c;
        c.integer = i;
        return c;
    }
    static Cell Currency(std::int64_t tenThousandths) {
        Cell c;
        c.currency = tenThousandths;
        return c;
    }
    static Cell Logical(bool b) {
        Cell c;
        c.logical = b;
        return c;
    }
    static Cell Null() {
        Cell c;
        c.null = true;
        return c;
    }
    // Throws std::invalid_argument for a date that does not exist.
    static Cell Date(int year, int month, int day);
    static Cell DateTime(int year, int month, int day, int hour, int minute, int second);
};

}  // namespace mg::hostsim

#endif
