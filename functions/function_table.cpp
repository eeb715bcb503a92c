// The function table published to the host: rows in the host's order.
#include "functions/crc.h"
#include "functions/encrypt.h"
#include "functions/encrypt_file.h"
#include "functions/generate_key.h"
#include "functions/hash.h"
#include "functions/password.h"
#include "functions/record.h"
#include "functions/seal.h"
#include "functions/seal_file.h"
#include "host/library_hooks.h"

namespace mg::host {
namespace {

template <class Fn>
abi::Word W(Fn* p) {
    return reinterpret_cast<abi::Word>(p);
}
abi::Word W(const char* text) { return reinterpret_cast<abi::Word>(text); }

}  // namespace

const abi::FunctionTable* LibraryFunctionTable() {
    using namespace functions;
    static const abi::FunctionInfo rows[] = {
        {W("ENCRYPT"), W(&ENCRYPT), 8, W("C,C,.I,.I,.I,.I,.I,.C")},
        {W("DECRYPT"), W(&DECRYPT), 8, W("C,C,.I,.I,.I,.I,.I,.C")},
        {W("ENCRYPTFILE"), W(&ENCRYPTFILE), 9, W("C,C,C,.I,.I,.I,.I,.I,.C")},
        {W("DECRYPTFILE"), W(&DECRYPTFILE), 9, W("C,C,C,.I,.I,.I,.I,.I,.C")},
        {W("HMAC"), W(&HMAC), 3, W("C,C,.I")},
        {W("HASH"), W(&HASH), 2, W("C,.I")},
        {W("HASHFILE"), W(&HASHFILE), 2, W("C,.I")},
        {W("HASHRECORD"), W(&HASHRECORD), 3, W("C,.I,.L")},
        {W("CRC"), W(&CRC), 2, W("C,.I")},
        {W("CRCFILE"), W(&CRCFILE), 2, W("C,.I")},
        {W("CRCRECORD"), W(&CRCRECORD), 3, W("C,.I,.L")},
        {W("GETRECSTR"), W(&GETRECSTR), 2, W("C,.L")},
        {W("GENERATEKEY"), W(&GENERATEKEY), 4, W("I,.L,.L,.L")},
        {W("ONLOAD"), W(&ONLOAD), -2, W("")},
        {W("SEAL"), W(&SEAL), 3, W("C,C,.C")},
        {W("UNSEAL"), W(&UNSEAL), 3, W("C,C,.C")},
        {W("HASHPASSWORD"), W(&HASHPASSWORD), 3, W("C,.I,.I")},
        {W("VERIFYPASSWORD"), W(&VERIFYPASSWORD), 2, W("C,C")},
        {W("DERIVEKEY"), W(&DERIVEKEY), 5, W("C,C,I,.I,.I")},
        {W("SEALFILE"), W(&SEALFILE), 4, W("C,C,C,.L")},
        {W("UNSEALFILE"), W(&UNSEALFILE), 3, W("C,C,C")},
        {W("GENERATEIDENTITY"), W(&GENERATEIDENTITY), 0, W("")},
        {W("RECIPIENT"), W(&RECIPIENT), 1, W("C")},
    };
    static const abi::FunctionTable table = {0, static_cast<std::int16_t>(sizeof(rows) / sizeof(rows[0])), W(rows)};
    return &table;
}

}  // namespace mg::host
