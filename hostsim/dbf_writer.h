#ifndef MG_HOSTSIM_DBF_WRITER_H
#define MG_HOSTSIM_DBF_WRITER_H

#include <cstdint>
#include <string>

#include "hostsim/table.h"

namespace mg::hostsim {

enum class DbfForm {
    kDBase3,  // version 0x03: fields C, N, D and L only, no memo file
    kHost,    // version 0x30, or 0x32 when the table has V, Q or W fields
};

// Writes `table` as a table file, and a .fpt memo file beside it when it has
// memo or blob fields; deletion marks are written too. Files for test
// fixtures: the update date is always 2000-01-01, so that the same table
// always gives the same bytes. Throws std::runtime_error for a table the form
// cannot hold (a field type, a name longer than 10 characters, a number too
// wide for its field) or a file that cannot be written.
void WriteDbf(const Table& table, const std::string& path, DbfForm form, std::uint16_t memoBlockSize = 64);

}  // namespace mg::hostsim

#endif
