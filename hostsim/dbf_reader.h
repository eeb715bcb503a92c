#ifndef MG_HOSTSIM_DBF_READER_H
#define MG_HOSTSIM_DBF_READER_H

#include <string>

#include "hostsim/table.h"

namespace mg::hostsim {

// Reads a table file, in the dBase III form (version 0x03, fields C N F D L)
// or in the host's own form (0x30 to 0x32, every field type of FieldDef,
// memos in the .fpt file beside it), with the record pointer on the first
// record. Deletion marks are kept. Throws std::runtime_error naming the file
// and what is wrong with it for anything it cannot read faithfully.
Table ReadDbf(const std::string& path);

}  // namespace mg::hostsim

#endif
