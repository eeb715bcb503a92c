#ifndef MG_HOSTSIM_WORK_AREAS_H
#define MG_HOSTSIM_WORK_AREAS_H

#include <string>
#include <vector>

#include "hostsim/table.h"
#include "hostsim/text_form.h"

namespace mg::hostsim {

// The host's work areas: numbered from 1, each empty or holding one open
// table under an alias, one of them selected. Aliases are matched without
// regard to case and kept in upper case. Unlike the host, any text is taken
// as an alias, so that tests can open tables under names that need quoting.
class WorkAreas {
public:
    // Opens `table` in the lowest free area and returns the area's number;
    // the selection stays where it was. Throws std::invalid_argument when the
    // alias is empty or already in use.
    int Open(Table table, const std::string& alias);
    // Opens a table file (see ReadDbf); the alias defaults to the file's base name.
    int OpenFile(const std::string& path, const std::string& alias = "");
    void Close(const std::string& alias);

    void Select(int area);
    void Select(const std::string& alias);  // throws std::invalid_argument when not open
    int Selected() const { return m_iSelected; }

    Table* Find(const std::string& alias);  // nullptr when not open
    Table* InArea(int area);                // nullptr when empty
    int AreaOf(const std::string& alias) const;  // 0 when not open
    std::string AliasOf(int area) const;    // empty when the area is empty

    TextSettings& Settings() { return m_tSettings; }
    const TextSettings& Settings() const { return m_tSettings; }

private:
    struct Area {
        std::string alias;  // empty for a free area
        Table table;
    };

    std::vector<Area> m_vAreas;  // area n at index n - 1
    int m_iSelected = 1;
    TextSettings m_tSettings;
};

}  // namespace mg::hostsim

#endif
