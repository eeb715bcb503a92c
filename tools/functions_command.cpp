#include "tools/functions_command.h"

#include <cstdio>

#include "tools/library.h"
#include "tools/session.h"

namespace mg::tool {
namespace {

struct Signature {
    const char* name;
    const char* text;
};

// Optional arguments in brackets, each with the value the library uses when
// it is absent.
constexpr Signature kSignatures[] = {
    {"ENCRYPT", "(cData, cKey [, nType=2, nMode=0, nPadding=0, nKeySize=by type, nBlockSize=32, cIV=zeros])"},
    {"DECRYPT", "(cData, cKey [, nType=2, nMode=0, nPadding=0, nKeySize=by type, nBlockSize=32, cIV=zeros])"},
    {"ENCRYPTFILE",
     "(cInFile, cOutFile, cKey [, nType=2, nMode=0, nPadding=0, nKeySize=by type, nBlockSize=32, cIV=zeros])"},
    {"DECRYPTFILE",
     "(cInFile, cOutFile, cKey [, nType=2, nMode=0, nPadding=0, nKeySize=by type, nBlockSize=32, cIV=zeros])"},
    {"HMAC", "(cData, cKey [, nType=4])"},
    {"HASH", "(cData [, nType=4])"},
    {"HASHFILE", "(cFileName [, nType=4])"},
    {"HASHRECORD", "(cAlias [, nType=4, lMemo=.F.])"},
    {"CRC", "(cData [, nType=2])"},
    {"CRCFILE", "(cFileName [, nType=2])"},
    {"CRCRECORD", "(cAlias [, nType=2, lMemo=.F.])"},
    {"GETRECSTR", "(cAlias [, lMemo=.F.])"},
    {"GENERATEKEY", "(nLength [, lDigits=.F., lUpper=.F., lSymbols=.F.])"},
    {"ONLOAD", "() called by the host when it loads the library"},
    {"SEAL", "(cData, cKey [, cContext=''])"},
    {"UNSEAL", "(cSealed, cKey [, cContext=''])"},
    {"HASHPASSWORD", "(cPassword [, nMemory=19456, nIterations=2])"},
    {"VERIFYPASSWORD", "(cPassword, cStored)"},
    {"DERIVEKEY", "(cPassword, cSalt, nIterations [, nLength=32, nType=4])"},
    {"SEALFILE", "(cInFile, cOutFile, cKey [, lRecipients=.F.])"},
    {"UNSEALFILE", "(cInFile, cOutFile, cKey)"},
    {"GENERATEIDENTITY", "()"},
    {"RECIPIENT", "(cIdentity)"},
};

int Run(const CommandLine& line, Session& session) {
    line.ExpectPositionals(0, 0, "");
    for (const auto& row : session.Lib().Host().Rows()) {
        std::printf("%-14s %3d  %-24s %s%s\n", row.name.c_str(), row.parameterCount,
                    ("\"" + row.typeString + "\"").c_str(), row.name.c_str(),
                    FunctionsCommand::Signature(row.name).c_str());
    }
    return 0;
}

}  // namespace

std::string FunctionsCommand::Signature(const std::string& name) {
    for (const auto& s : kSignatures) {
        if (name == s.name) return s.text;
    }
    return "";
}

Command FunctionsCommand::Make() {
    return {"functions",
            "functions",
            "list the functions the library publishes, with their arguments",
            "Columns: name, parameter count, the host's type string (C character, I integer, L logical; a\n"
            "leading dot marks an optional argument), then the arguments with the defaults the library uses\n"
            "when they are absent. nKeySize by type: 16 for type 0, 24 for type 1, 32 otherwise.",
            {},
            {"marrowgate functions"},
            Run};
}

}  // namespace mg::tool
