#include "tools/function_commands.h"

#include <cstdio>

#include "tools/cipher_arguments.h"
#include "tools/files.h"
#include "tools/library.h"
#include "tools/names.h"
#include "tools/operands.h"
#include "tools/progress_meter.h"
#include "tools/result_writer.h"
#include "tools/session.h"
#include "tools/usage_error.h"
#include "tools/value_display.h"

namespace mg::tool {
namespace {

std::vector<OptionInfo> Join(std::initializer_list<std::vector<OptionInfo>> groups) {
    std::vector<OptionInfo> all;
    for (const auto& g : groups) all.insert(all.end(), g.begin(), g.end());
    return all;
}

std::string RequiredKey(const CommandLine& line) {
    auto key = Operands::Bytes(line, "key");
    if (!key) throw UsageError("missing key: give --key, --key-hex or --key-file");
    return *key;
}

std::vector<OptionInfo> KeyOptions() { return Operands::BytesOptions("key", 'k', "the key"); }

OptionInfo TypeOption(const NameTable& table, const std::string& fallback) {
    return {"type", 't', "TYPE", table.List() + " (default " + fallback + "; other numbers mean the default)"};
}

// A string operation: data (and key) in, one character value out.
int RunCipher(const CommandLine& line, Session& session, const char* function, Format screen) {
    line.ExpectPositionals(0, 1, "data");
    const std::string key = RequiredKey(line);
    std::vector<Value> args = {Value::Of(Operands::Data(line)), Value::Of(key)};
    for (Value& v : CipherArguments::From(line)) args.push_back(std::move(v));
    ResultWriter out(line, screen);
    out.Write(session.Lib().Call(function, args).bytes);
    out.Finish();
    return 0;
}

int RunFileCipher(const CommandLine& line, Session& session, const char* function, const char* label) {
    line.ExpectPositionals(2, 2, "input and output file names");
    const std::string& in = line.Positionals()[0];
    const std::string& out = line.Positionals()[1];
    std::vector<Value> args = {Value::Of(in), Value::Of(out), Value::Of(RequiredKey(line))};
    for (Value& v : CipherArguments::From(line)) args.push_back(std::move(v));
    Library& library = session.Lib();
    ProgressMeter meter(std::string(label) + " " + in, in, out, !line.Has("no-progress"));
    library.Call(function, args);
    return 0;
}

std::vector<Value> TypeArgument(const CommandLine& line, const NameTable& table) {
    if (const auto type = line.Value("type")) return {Value::Int(table.Parse(*type))};
    return {};
}

int RunDigest(const CommandLine& line, Session& session, const char* function, bool keyed) {
    line.ExpectPositionals(0, 1, "data");
    std::vector<Value> args = {Value::Of(Operands::Data(line))};
    if (keyed) args.push_back(Value::Of(RequiredKey(line)));
    for (Value& v : TypeArgument(line, NameTable::HashTypes())) args.push_back(std::move(v));
    ResultWriter out(line, Format::Hex);
    out.Write(session.Lib().Call(function, args).bytes);
    out.Finish();
    return 0;
}

int RunFileDigest(const CommandLine& line, Session& session) {
    line.ExpectPositionals(1, 1, "file name");
    std::vector<Value> args = {Value::Of(line.Positionals()[0])};
    for (Value& v : TypeArgument(line, NameTable::HashTypes())) args.push_back(std::move(v));
    ResultWriter out(line, Format::Hex);
    out.Write(session.Lib().Call("HASHFILE", args).bytes);
    out.Finish();
    return 0;
}

int RunCrc(const CommandLine& line, Session& session, bool file) {
    std::vector<Value> args;
    if (file) {
        line.ExpectPositionals(1, 1, "file name");
        args.push_back(Value::Of(line.Positionals()[0]));
    } else {
        line.ExpectPositionals(0, 1, "data");
        args.push_back(Value::Of(Operands::Data(line)));
    }
    for (Value& v : TypeArgument(line, NameTable::CrcTypes())) args.push_back(std::move(v));
    const std::string format = line.Value("format").value_or("dec");
    ValueDisplay::Checksum(Value::Int(0), format);  // a wrong format is a usage error before anything runs
    ResultWriter out(line.Value("out").value_or("-"));
    const Value crc = session.Lib().Call(file ? "CRCFILE" : "CRC", args);
    out.WriteText(ValueDisplay::Checksum(crc, format));
    out.Finish();
    // The library answers 0 for a file it cannot read, which is also the CRC
    // of some files: only then is it worth reading the file again to tell.
    if (file && crc.integer == 0 && crc.number == 0) {
        const std::string& path = line.Positionals()[0];
        if (const std::string problem = Files::ReadProblem(path); !problem.empty()) {
            std::fprintf(stderr, "marrowgate crcfile: cannot read %s: %s\n", path.c_str(), problem.c_str());
            return 1;
        }
    }
    return 0;
}

int RunGenerateKey(const CommandLine& line, Session& session) {
    line.ExpectPositionals(1, 1, "key length");
    std::vector<Value> args = {Value::Int(ParseInt32(line.Positionals()[0], "key length"))};
    // Logicals are passed up to the last one asked for, as a host program would.
    const bool flags[] = {line.Has("digits"), line.Has("upper"), line.Has("symbols")};
    int last = 0;
    for (int i = 0; i < 3; ++i) {
        if (flags[i]) last = i + 1;
    }
    for (int i = 0; i < last; ++i) args.push_back(Value::Bool(flags[i]));
    ResultWriter out(line, Format::Raw);
    out.Write(session.Lib().Call("GENERATEKEY", args).bytes);
    out.Finish();
    return 0;
}

// SEAL or UNSEAL: data and key in, the context passed only when given.
int RunSeal(const CommandLine& line, Session& session, const char* function, Format screen) {
    line.ExpectPositionals(0, 1, "data");
    const std::string key = RequiredKey(line);
    std::vector<Value> args = {Value::Of(Operands::Data(line)), Value::Of(key)};
    if (auto context = Operands::Bytes(line, "context")) args.push_back(Value::Of(*context));
    ResultWriter out(line, screen);
    out.Write(session.Lib().Call(function, args).bytes);
    out.Finish();
    return 0;
}

// Recipients from --recipient (a list: spaces or commas between) and
// --recipients-file, in that order.
std::string RecipientList(const CommandLine& line) {
    std::string list = line.Value("recipient").value_or("");
    if (const auto file = line.Value("recipients-file")) list += "\n" + Files::Read(*file);
    return list;
}

int RunSealFile(const CommandLine& line, Session& session) {
    line.ExpectPositionals(2, 2, "input and output file names");
    const std::string& in = line.Positionals()[0];
    const std::string& out = line.Positionals()[1];
    const bool recipients = line.Has("recipient") || line.Has("recipients-file");
    auto passphrase = Operands::Bytes(line, "key");
    if (recipients == passphrase.has_value())
        throw UsageError("give either --recipient/--recipients-file or a passphrase (--key, --key-hex, --key-file)");
    std::vector<Value> args = {Value::Of(in), Value::Of(out), Value::Of(recipients ? RecipientList(line) : *passphrase)};
    if (recipients) args.push_back(Value::Bool(true));
    ProgressMeter meter("sealing " + in, in, out, !line.Has("no-progress"));
    session.Lib().Call("SEALFILE", args);
    return 0;
}

int RunUnsealFile(const CommandLine& line, Session& session) {
    line.ExpectPositionals(2, 2, "input and output file names");
    const std::string& in = line.Positionals()[0];
    const std::string& out = line.Positionals()[1];
    std::string key;
    if (const auto file = line.Value("identity-file")) {
        key = Files::Read(*file);
    } else {
        key = RequiredKey(line);
    }
    ProgressMeter meter("opening " + in, in, out, !line.Has("no-progress"));
    session.Lib().Call("UNSEALFILE", {Value::Of(in), Value::Of(out), Value::Of(key)});
    return 0;
}

int RunIdentity(const CommandLine& line, Session& session) {
    line.ExpectPositionals(0, 0, "");
    ResultWriter out(line.Value("out").value_or("-"));
    if (const auto given = line.Value("recipient")) {
        const std::string text = *given == "-" ? Files::Read("-") : *given;
        out.WriteText(session.Lib().Call("RECIPIENT", {Value::Of(text)}).bytes);
    } else {
        const std::string identity = session.Lib().Call("GENERATEIDENTITY", {}).bytes;
        const std::string recipient = session.Lib().Call("RECIPIENT", {Value::Of(identity)}).bytes;
        out.WriteText("# public key: " + recipient + "\n" + identity);
    }
    out.Finish();
    return 0;
}

const OptionInfo kNoProgress = {"no-progress", 0, "", "no progress bar, even on a terminal"};
const OptionInfo kCrcFormat = {"format", 'f', "FMT", "dec or hex (default dec, as the host shows the number)"};
const OptionInfo kCrcOut = {"out", 'o', "FILE", "write the result to FILE instead of standard output"};

}  // namespace

std::vector<Command> FunctionCommands::All() {
    const std::string dataHelp =
        "The data is TEXT, --hex, --base64, --in FILE, or standard input when none of them is given.";
    const std::string cipherHelp = CipherArguments::Help();
    std::vector<Command> commands;

    commands.push_back(
        {"encrypt", "encrypt [TEXT] --key KEY [options]", "ENCRYPT: encrypt a string in memory",
         "Calls ENCRYPT(cData, cKey, nType, nMode, nPadding, nKeySize, nBlockSize, cIV).\n" + dataHelp +
             "\nThe result is the data's length rounded up to whole blocks (RC4: the data's length).\n\n" + cipherHelp,
         Join({Operands::DataOptions(), KeyOptions(), CipherArguments::Options(), ResultWriter::Options(Format::Hex)}),
         {"marrowgate encrypt 'attack at dawn' --key secret",
          "marrowgate encrypt --hex 00112233445566778899aabbccddeeff --key-hex 000102030405060708090a0b0c0d0e0f "
          "-t aes128",
          "marrowgate encrypt --in plain.txt --key-file key.bin -t aes256 -m cbc -p pkcs7 -o secret.bin"},
         [](const CommandLine& l, Session& s) { return RunCipher(l, s, "ENCRYPT", Format::Hex); }});

    commands.push_back(
        {"decrypt", "decrypt [TEXT] --key KEY [options]", "DECRYPT: decrypt a string in memory",
         "Calls DECRYPT with the arguments of ENCRYPT.\n" + dataHelp +
             "\nThe padding that ENCRYPT added stays in the result: DECRYPT does not remove it.\n\n" + cipherHelp,
         Join({Operands::DataOptions(), KeyOptions(), CipherArguments::Options(), ResultWriter::Options(Format::Raw)}),
         {"marrowgate decrypt --in secret.bin --key-file key.bin -t aes256 -m cbc -p pkcs7",
          "marrowgate encrypt 'attack at dawn' --key k -t rc4 | marrowgate decrypt --in - --in-format hex --key k -t rc4"},
         [](const CommandLine& l, Session& s) { return RunCipher(l, s, "DECRYPT", Format::Raw); }});

    const std::string fileDetails =
        "The library reads and writes the files itself. Block-cipher files start with a 32-byte header that\n"
        "identifies cipher, key, sizes, mode and padding, so decrypting with other settings fails with the\n"
        "library's message; RC4 files have no header. A progress bar shows on standard error when it is a\n"
        "terminal and the file is large.\n\n" +
        cipherHelp;
    commands.push_back({"encryptfile", "encryptfile IN OUT --key KEY [options]",
                        "ENCRYPTFILE: encrypt a file into another file",
                        "Calls ENCRYPTFILE(cInFile, cOutFile, cKey, nType, nMode, nPadding, nKeySize, nBlockSize, "
                        "cIV). Prints nothing on success.\n" +
                            fileDetails,
                        Join({KeyOptions(), CipherArguments::Options(), {kNoProgress}}),
                        {"marrowgate encryptfile report.pdf report.enc --key-file key.bin -t aes256 -m cbc -p pkcs7",
                         "marrowgate encryptfile data.bin data.rc4 --key secret -t rc4"},
                        [](const CommandLine& l, Session& s) { return RunFileCipher(l, s, "ENCRYPTFILE", "encrypting"); }});

    commands.push_back({"decryptfile", "decryptfile IN OUT --key KEY [options]",
                        "DECRYPTFILE: decrypt a file made by ENCRYPTFILE",
                        "Calls DECRYPTFILE with the arguments of ENCRYPTFILE; the settings must be those the file\n"
                        "was encrypted with. Prints nothing on success.\n" +
                            fileDetails,
                        Join({KeyOptions(), CipherArguments::Options(), {kNoProgress}}),
                        {"marrowgate decryptfile report.enc report.pdf --key-file key.bin -t aes256 -m cbc -p pkcs7"},
                        [](const CommandLine& l, Session& s) { return RunFileCipher(l, s, "DECRYPTFILE", "decrypting"); }});

    commands.push_back({"hash", "hash [TEXT] [-t TYPE] [options]", "HASH: message digest of a string",
                        "Calls HASH(cData, nType).\n" + dataHelp,
                        Join({Operands::DataOptions(), {TypeOption(NameTable::HashTypes(), "sha512")},
                              ResultWriter::Options(Format::Hex)}),
                        {"marrowgate hash abc -t sha256", "marrowgate hash --in notes.txt -t md5 -f base64",
                         "printf abc | marrowgate hash"},
                        [](const CommandLine& l, Session& s) { return RunDigest(l, s, "HASH", false); }});

    commands.push_back({"hmac", "hmac [TEXT] --key KEY [-t TYPE] [options]", "HMAC: keyed digest (RFC 2104)",
                        "Calls HMAC(cData, cKey, nType); the key may be empty.\n" + dataHelp,
                        Join({Operands::DataOptions(), KeyOptions(), {TypeOption(NameTable::HashTypes(), "sha512")},
                              ResultWriter::Options(Format::Hex)}),
                        {"marrowgate hmac 'what do ya want for nothing?' --key Jefe -t sha256"},
                        [](const CommandLine& l, Session& s) { return RunDigest(l, s, "HMAC", true); }});

    commands.push_back({"hashfile", "hashfile FILE [-t TYPE] [options]", "HASHFILE: message digest of a file",
                        "Calls HASHFILE(cFileName, nType); the library reads the file.",
                        Join({{TypeOption(NameTable::HashTypes(), "sha512")}, ResultWriter::Options(Format::Hex)}),
                        {"marrowgate hashfile backup.tar -t sha256"},
                        [](const CommandLine& l, Session& s) { return RunFileDigest(l, s); }});

    commands.push_back({"crc", "crc [TEXT] [-t TYPE] [options]", "CRC: 16- or 32-bit checksum of a string",
                        "Calls CRC(cData, nType).\n" + dataHelp +
                            "\nCRC-16 (XMODEM) of a string stops at its first zero byte; CRC-32 counts every byte.",
                        Join({Operands::DataOptions(), {TypeOption(NameTable::CrcTypes(), "crc32"), kCrcFormat, kCrcOut}}),
                        {"marrowgate crc 123456789", "marrowgate crc abc -t crc16 -f hex"},
                        [](const CommandLine& l, Session& s) { return RunCrc(l, s, false); }});

    commands.push_back({"crcfile", "crcfile FILE [-t TYPE] [options]", "CRCFILE: checksum of a file",
                        "Calls CRCFILE(cFileName, nType). A file that cannot be opened or read gives 0, as the library\n"
                        "does; the tool then also says so on standard error and exits with status 1.",
                        {TypeOption(NameTable::CrcTypes(), "crc32"), kCrcFormat, kCrcOut},
                        {"marrowgate crcfile backup.tar", "marrowgate crcfile backup.tar -t crc16"},
                        [](const CommandLine& l, Session& s) { return RunCrc(l, s, true); }});

    const std::string sealHelp =
        "AES-GCM: a 16-, 24- or 32-byte key picks AES-128, -192 or -256. A sealed value is a 12-byte random\n"
        "nonce, the ciphertext (as long as the data) and a 16-byte tag. The context (default none) is\n"
        "authenticated but not encrypted: a value sealed with one context opens only with the same one.\n"
        "See docs/seal.md.";
    commands.push_back({"seal", "seal [TEXT] --key KEY [--context CTX] [options]",
                        "SEAL: authenticated encryption of a string (AES-GCM)",
                        "Calls SEAL(cData, cKey, cContext).\n" + dataHelp + "\n" + sealHelp,
                        Join({Operands::DataOptions(), KeyOptions(),
                              Operands::BytesOptions("context", 'c', "the context (authenticated, not encrypted)"),
                              ResultWriter::Options(Format::Hex)}),
                        {"marrowgate seal '4111 1111 1111 1111' --key-file key.bin --context customers:42",
                         "marrowgate seal --in notes.txt --key-hex 000102030405060708090a0b0c0d0e0f -o notes.sealed"},
                        [](const CommandLine& l, Session& s) { return RunSeal(l, s, "SEAL", Format::Hex); }});

    commands.push_back({"unseal", "unseal [TEXT] --key KEY [--context CTX] [options]",
                        "UNSEAL: open a value made by SEAL",
                        "Calls UNSEAL(cSealed, cKey, cContext). A changed value, a wrong key or a wrong context\n"
                        "fails with the library's message and prints nothing.\n" +
                            dataHelp + "\n" + sealHelp,
                        Join({Operands::DataOptions(), KeyOptions(),
                              Operands::BytesOptions("context", 'c', "the context the value was sealed with"),
                              ResultWriter::Options(Format::Raw)}),
                        {"marrowgate unseal --in notes.sealed --key-hex 000102030405060708090a0b0c0d0e0f",
                         "marrowgate seal secret --key-file key.bin | marrowgate unseal --in - --in-format hex "
                         "--key-file key.bin"},
                        [](const CommandLine& l, Session& s) { return RunSeal(l, s, "UNSEAL", Format::Raw); }});

    commands.push_back({"genkey", "genkey LENGTH [-d] [-u] [-s] [options]", "GENERATEKEY: random key string",
                        "Calls GENERATEKEY(nLength, lDigits, lUpper, lSymbols). Keys are drawn from the lower-case\n"
                        "letters, widened by the switches; a length of 0 or less gives an empty key.",
                        Join({{{"digits", 'd', "", "add the digits (default off)"},
                               {"upper", 'u', "", "add the upper-case letters (default off)"},
                               {"symbols", 's', "", "add 32 punctuation symbols (default off)"}},
                              ResultWriter::Options(Format::Raw)}),
                        {"marrowgate genkey 16", "marrowgate genkey 32 -d -u -s"},
                        [](const CommandLine& l, Session& s) { return RunGenerateKey(l, s); }});

    const std::string ageDetails =
        "Files are in the age format (age-encryption.org/v1): they open with the age tool on any platform,\n"
        "and any changed, missing or added byte is refused. The output appears only when the whole file\n"
        "succeeded.";
    commands.push_back({"sealfile", "sealfile IN OUT (--recipient LIST | --key PASSPHRASE) [options]",
                        "SEALFILE: encrypt a file in the age format",
                        "Calls SEALFILE(cInFile, cOutFile, cKey, lRecipients). With --recipient or --recipients-file\n"
                        "the file opens with the matching identities (lRecipients .T.); otherwise the key is a\n"
                        "passphrase (scrypt, work factor 18). Prints nothing on success.\n" +
                            ageDetails,
                        Join({{{"recipient", 'r', "LIST", "age1... recipients, separated by spaces or commas"},
                               {"recipients-file", 'R', "FILE", "recipients, one or more per line"}},
                              KeyOptions(),
                              {kNoProgress}}),
                        {"marrowgate sealfile backup.tar backup.tar.age -r age1zvkyg2lqzraa2lnjvqej32nkuu0ues2s82hzrye869xeexvn73equnujwj",
                         "marrowgate sealfile notes.txt notes.age --key 'correct horse battery staple'"},
                        [](const CommandLine& l, Session& s) { return RunSealFile(l, s); }});

    commands.push_back({"unsealfile", "unsealfile IN OUT (--identity-file FILE | --key KEY) [options]",
                        "UNSEALFILE: decrypt an age file",
                        "Calls UNSEALFILE(cInFile, cOutFile, cKey). The file's header decides what the key is: a\n"
                        "passphrase, or identities (AGE-SECRET-KEY-1..., one per line; # comments allowed, so an\n"
                        "age-keygen file works as it is). Binary and armored files are read. Prints nothing on success.\n" +
                            ageDetails,
                        Join({{{"identity-file", 'i', "FILE", "a file of identities"}}, KeyOptions(), {kNoProgress}}),
                        {"marrowgate unsealfile backup.tar.age backup.tar -i key.txt",
                         "marrowgate unsealfile notes.age notes.txt --key 'correct horse battery staple'"},
                        [](const CommandLine& l, Session& s) { return RunUnsealFile(l, s); }});

    commands.push_back({"identity", "identity [--recipient IDENTITY] [options]",
                        "GENERATEIDENTITY and RECIPIENT: age key pairs",
                        "Without options, calls GENERATEIDENTITY() and prints the new identity after a comment line\n"
                        "with its recipient, as an identity file. With --recipient, calls RECIPIENT(cIdentity) and\n"
                        "prints the recipient of the identity given (- reads it from standard input).",
                        {{"recipient", 'r', "IDENTITY", "print the recipient of this identity instead"},
                         {"out", 'o', "FILE", "write to FILE instead of standard output"}},
                        {"marrowgate identity -o key.txt",
                         "marrowgate identity --recipient AGE-SECRET-KEY-1GFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPYYSJZGFPQ4EGAEX"},
                        [](const CommandLine& l, Session& s) { return RunIdentity(l, s); }});
    return commands;
}

}  // namespace mg::tool
