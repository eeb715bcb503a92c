#include "tools/password_commands.h"

#include <cstdio>

#include "tools/library.h"
#include "tools/names.h"
#include "tools/operands.h"
#include "tools/result_writer.h"
#include "tools/session.h"
#include "tools/usage_error.h"

namespace mg::tool {
namespace {

// The library's defaults, passed when a later argument is given without the
// earlier ones: the host counts optional arguments by position.
constexpr std::int32_t kDefaultMemoryKiB = 19456;
constexpr std::int32_t kDefaultKeyLength = 32;

int RunHashPassword(const CommandLine& line, Session& session) {
    line.ExpectPositionals(0, 1, "password");
    std::vector<Value> args = {Value::Of(Operands::Data(line))};
    const auto memory = line.Value("memory");
    const auto passes = line.Value("passes");
    if (memory || passes)
        args.push_back(Value::Int(memory ? ParseInt32(*memory, "memory") : kDefaultMemoryKiB));
    if (passes) args.push_back(Value::Int(ParseInt32(*passes, "passes")));
    ResultWriter out(line.Value("out").value_or("-"));
    out.WriteText(session.Lib().Call("HASHPASSWORD", args).bytes);
    out.Finish();
    return 0;
}

int RunVerifyPassword(const CommandLine& line, Session& session) {
    line.ExpectPositionals(0, 1, "password");
    auto stored = Operands::Bytes(line, "hash");
    if (!stored) throw UsageError("missing hash: give --hash or --hash-file");
    // A stored hash read from a file ends with the line break it was written with.
    while (!stored->empty() && (stored->back() == '\n' || stored->back() == '\r')) stored->pop_back();
    const bool match = session.Lib().Call("VERIFYPASSWORD", {Value::Of(Operands::Data(line)), Value::Of(*stored)}).logical;
    if (!line.Has("quiet")) std::puts(match ? "match" : "no match");
    return match ? 0 : 1;
}

int RunDeriveKey(const CommandLine& line, Session& session) {
    line.ExpectPositionals(0, 1, "password");
    const auto salt = Operands::Bytes(line, "salt");
    if (!salt) throw UsageError("missing salt: give --salt, --salt-hex or --salt-file (--salt= for an empty one)");
    const auto iterations = line.Value("iterations");
    if (!iterations) throw UsageError("missing iteration count: give --iterations");
    std::vector<Value> args = {Value::Of(Operands::Data(line)), Value::Of(*salt),
                               Value::Int(ParseInt32(*iterations, "iterations"))};
    const auto length = line.Value("length");
    const auto type = line.Value("type");
    if (length || type) args.push_back(Value::Int(length ? ParseInt32(*length, "length") : kDefaultKeyLength));
    if (type) args.push_back(Value::Int(NameTable::HashTypes().Parse(*type)));
    ResultWriter out(line, Format::Hex);
    out.Write(session.Lib().Call("DERIVEKEY", args).bytes);
    out.Finish();
    return 0;
}

std::vector<OptionInfo> Join(std::initializer_list<std::vector<OptionInfo>> groups) {
    std::vector<OptionInfo> all;
    for (const auto& g : groups) all.insert(all.end(), g.begin(), g.end());
    return all;
}

}  // namespace

std::vector<Command> PasswordCommands::All() {
    const std::string passwordHelp =
        "The password is TEXT, --hex, --base64, --in FILE, or standard input when none of them is given\n"
        "(every byte counts, a line break too: use printf %s, not echo).";
    std::vector<Command> commands;

    commands.push_back(
        {"hashpassword", "hashpassword [PASSWORD] [-m KIB] [-t PASSES]",
         "HASHPASSWORD: Argon2id password hash in the PHC string form",
         "Calls HASHPASSWORD(cPassword, nMemory, nIterations): Argon2id with a fresh 16-byte salt, printed as\n"
         "$argon2id$v=19$m=KIB,t=PASSES,p=1$SALT$TAG, which other Argon2 libraries verify too.\n" +
             passwordHelp,
         Join({Operands::DataOptions(),
               {{"memory", 'm', "KIB", "memory in KiB, 8 to 1048576 (default 19456)"},
                {"passes", 't', "PASSES", "passes over the memory, 1 to 100 (default 2)"},
                {"out", 'o', "FILE", "write the hash to FILE instead of standard output"}}}),
         {"marrowgate hashpassword 'correct horse battery staple'",
          "printf %s \"$PW\" | marrowgate hashpassword -m 65536 -t 3 -o stored.txt"},
         RunHashPassword});

    commands.push_back(
        {"verifypassword", "verifypassword [PASSWORD] --hash PHC",
         "VERIFYPASSWORD: check a password against a stored hash (exit 0 match, 1 no match)",
         "Calls VERIFYPASSWORD(cPassword, cStored) and prints \"match\" (exit status 0) or \"no match\" (exit\n"
         "status 1). The stored hash is an Argon2id, Argon2i or Argon2d PHC string, also one written by another\n"
         "library; up to 1 GiB of memory, 100 passes and 16 lanes. A line break at the end of --hash-file is\n"
         "dropped.\n" +
             passwordHelp,
         Join({Operands::DataOptions(), Operands::BytesOptions("hash", 'H', "the stored PHC string"),
               {{"quiet", 'q', "", "print nothing; only the exit status tells"}}}),
         {"marrowgate verifypassword 'correct horse battery staple' --hash-file stored.txt",
          "marrowgate verifypassword hunter2 --hash '$argon2id$v=19$m=64,t=2,p=1$c29tZXNhbHQ$...' -q"},
         RunVerifyPassword});

    commands.push_back(
        {"derivekey", "derivekey [PASSWORD] --salt SALT -c ITERATIONS [-l LENGTH] [-t TYPE] [options]",
         "DERIVEKEY: key from a password (PBKDF2)",
         "Calls DERIVEKEY(cPassword, cSalt, nIterations, nLength, nType): PBKDF2 with HMAC over the digest of\n"
         "nType, as other PBKDF2 implementations compute it. The key is hex on the screen and raw bytes in a file.\n"
         "An empty salt (--salt=) is allowed but makes equal passwords give equal keys.\n" +
             passwordHelp,
         Join({Operands::DataOptions(), Operands::BytesOptions("salt", 's', "the salt"),
               {{"iterations", 'c', "N", "iteration count, 1 or more (600000 with SHA-256 is today's advice)"},
                {"length", 'l', "BYTES", "key length, 1 to 1024 (default 32)"},
                {"type", 't', "TYPE",
                 NameTable::HashTypes().List() + " (default sha512; other numbers mean the default)"}},
               ResultWriter::Options(Format::Hex)}),
         {"marrowgate derivekey password --salt salt -c 4096 -l 20 -t sha1",
          "marrowgate derivekey --in pw.txt --salt-hex 0011223344556677 -c 600000 -t sha256 -o key.bin"},
         RunDeriveKey});
    return commands;
}

}  // namespace mg::tool
