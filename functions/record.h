#ifndef MG_FUNCTIONS_RECORD_H
#define MG_FUNCTIONS_RECORD_H

#include <string>

#include "marrowgate/host_abi.h"

namespace mg::functions {

// GETRECSTR(cAlias, lMemo), HASHRECORD(cAlias, nType, lMemo) and
// CRCRECORD(cAlias, nType, lMemo) on the current record of an open table.
// The record string joins the host's text form of every field, memos only
// when lMemo is true.
void MG_FASTCALL GETRECSTR(abi::ParamBlock* params);
void MG_FASTCALL HASHRECORD(abi::ParamBlock* params);
void MG_FASTCALL CRCRECORD(abi::ParamBlock* params);

// `text` as a string literal of the host's language, between the first of its
// delimiters ' " [] that the text does not hold; empty when it holds them all.
std::string HostLiteral(const std::string& text);

// The host's alias for the caller's alias text (its current work area when
// the text is empty); empty when the host knows none that can be quoted.
std::string ResolveAlias(const std::string& text);
// The record string of the current record of the table under `alias`.
std::string BuildRecordString(bool memo, const std::string& alias);

}  // namespace mg::functions

#endif
