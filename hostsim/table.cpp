#include "hostsim/table.h"

#include <stdexcept>

namespace mg::hostsim {
namespace {

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

}  // namespace

Table::Table(std::vector<FieldDef> fields) : m_vFields(std::move(fields)) {
    for (const FieldDef& f : m_vFields) {
        if (f.width <= 0) throw std::invalid_argument("field " + f.name + " has no width");
    }
    for (std::size_t i = 0; i < m_vFields.size(); ++i) m_vBlank.push_back(Stored(i, Cell{}));
}

int Table::FieldIndex(const std::string& name) const {
    for (std::size_t i = 0; i < m_vFields.size(); ++i) {
        if (SameName(m_vFields[i].name, name)) return static_cast<int>(i);
    }
    return -1;
}

Cell Table::Stored(std::size_t field, Cell cell) const {
    const FieldDef& f = m_vFields.at(field);
    const auto width = static_cast<std::size_t>(f.width);
    if (f.type == 'C' && !cell.null) {
        cell.bytes.resize(width, ' ');
    } else if (f.IsVarying() && cell.bytes.size() > width) {
        cell.bytes.resize(width);
    }
    if (cell.null && !f.nullable) throw std::invalid_argument("field " + f.name + " does not take null");
    return cell;
}

void Table::Append(std::vector<Cell> cells) {
    if (cells.size() != m_vFields.size()) throw std::invalid_argument("record does not match the fields");
    for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = Stored(i, std::move(cells[i]));
    m_vRecords.push_back(std::move(cells));
    m_vDeleted.push_back(false);
    m_iRecNo = m_vRecords.size();
}

void Table::Set(std::size_t recno, std::size_t field, Cell cell) {
    m_vRecords.at(recno - 1).at(field) = Stored(field, std::move(cell));
}

const Cell& Table::At(std::size_t recno, std::size_t field) const { return m_vRecords.at(recno - 1).at(field); }

void Table::Go(std::size_t recno) {
    m_iRecNo = recno == 0 || recno > m_vRecords.size() ? m_vRecords.size() + 1 : recno;
}

const Cell& Table::Current(std::size_t field) const {
    if (Eof()) return m_vBlank.at(field);
    return m_vRecords[m_iRecNo - 1].at(field);
}

}  // namespace mg::hostsim
