#ifndef MG_FUNCTIONS_HOST_TEXT_H
#define MG_FUNCTIONS_HOST_TEXT_H

#include <string>

namespace mg::functions {

// A passphrase as other programs see it. The Windows host keeps text in the
// ANSI code page while age tools everywhere read passphrases as UTF-8, so
// there it is converted; elsewhere the bytes are used as they are.
std::string PassphraseToUtf8(const std::string& hostText);

}  // namespace mg::functions

#endif
