#include "hostsim/work_areas.h"

#include <stdexcept>

#include "hostsim/dbf_reader.h"

namespace mg::hostsim {
namespace {

std::string Upper(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace

int WorkAreas::Open(Table table, const std::string& alias) {
    const std::string upper = Upper(alias);
    if (upper.empty()) throw std::invalid_argument("a table needs an alias");
    if (AreaOf(upper) != 0) throw std::invalid_argument("alias " + upper + " is already in use");
    std::size_t i = 0;
    while (i < m_vAreas.size() && !m_vAreas[i].alias.empty()) ++i;
    if (i == m_vAreas.size()) m_vAreas.emplace_back();
    m_vAreas[i].alias = upper;
    m_vAreas[i].table = std::move(table);
    return static_cast<int>(i + 1);
}

int WorkAreas::OpenFile(const std::string& path, const std::string& alias) {
    return Open(ReadDbf(path), alias.empty() ? BaseName(path) : alias);
}

void WorkAreas::Close(const std::string& alias) {
    const int area = AreaOf(alias);
    if (area == 0) return;
    m_vAreas[static_cast<std::size_t>(area - 1)] = Area{};
}

void WorkAreas::Select(int area) {
    if (area < 1) throw std::invalid_argument("no such work area");
    m_iSelected = area;
}

void WorkAreas::Select(const std::string& alias) {
    const int area = AreaOf(alias);
    if (area == 0) throw std::invalid_argument("alias " + alias + " is not open");
    m_iSelected = area;
}

int WorkAreas::AreaOf(const std::string& alias) const {
    const std::string upper = Upper(alias);
    if (upper.empty()) return 0;
    for (std::size_t i = 0; i < m_vAreas.size(); ++i) {
        if (m_vAreas[i].alias == upper) return static_cast<int>(i + 1);
    }
    return 0;
}

Table* WorkAreas::Find(const std::string& alias) { return InArea(AreaOf(alias)); }

Table* WorkAreas::InArea(int area) {
    if (area < 1 || static_cast<std::size_t>(area) > m_vAreas.size()) return nullptr;
    Area& a = m_vAreas[static_cast<std::size_t>(area - 1)];
    return a.alias.empty() ? nullptr : &a.table;
}

std::string WorkAreas::AliasOf(int area) const {
    if (area < 1 || static_cast<std::size_t>(area) > m_vAreas.size()) return "";
    return m_vAreas[static_cast<std::size_t>(area - 1)].alias;
}

}  // namespace mg::hostsim
