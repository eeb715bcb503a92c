#ifndef MG_HOSTSIM_TABLE_H
#define MG_HOSTSIM_TABLE_H

#include <cstddef>
#include <string>
#include <vector>

#include "hostsim/field.h"

namespace mg::hostsim {

// A table as the host holds it in a work area: fields, records and a record
// pointer. Record numbers are 1-based as the host counts them; the position
// after the last record is the end of the table, where every field reads as
// its blank value.
class Table {
public:
    Table() = default;
    explicit Table(std::vector<FieldDef> fields);

    const std::vector<FieldDef>& Fields() const { return m_vFields; }
    int FieldIndex(const std::string& name) const;  // case-insensitive; -1 when absent

    // Appends a record and moves the pointer onto it. Character values are
    // blank-padded or cut to the field width and varying ones cut, as the host
    // stores them. Throws std::invalid_argument on a wrong cell count.
    void Append(std::vector<Cell> cells);
    void Set(std::size_t recno, std::size_t field, Cell cell);
    const Cell& At(std::size_t recno, std::size_t field) const;
    bool Deleted(std::size_t recno) const { return m_vDeleted.at(recno - 1); }
    void SetDeleted(std::size_t recno, bool deleted) { m_vDeleted.at(recno - 1) = deleted; }
    std::size_t RecordCount() const { return m_vRecords.size(); }

    std::size_t RecNo() const { return m_iRecNo; }
    bool Eof() const { return m_iRecNo > m_vRecords.size(); }
    void Go(std::size_t recno);  // beyond the last record means the end
    // The field of the current record; the blank value at the end of the table.
    const Cell& Current(std::size_t field) const;

private:
    Cell Stored(std::size_t field, Cell cell) const;

    std::vector<FieldDef> m_vFields;
    std::vector<std::vector<Cell>> m_vRecords;
    std::vector<bool> m_vDeleted;
    std::size_t m_iRecNo = 1;
    std::vector<Cell> m_vBlank;  // the end-of-table record
};

}  // namespace mg::hostsim

#endif
