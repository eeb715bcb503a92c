#ifndef MG_TOOLS_VALUE_DISPLAY_H
#define MG_TOOLS_VALUE_DISPLAY_H

#include <string>

#include "hostsim/value.h"

namespace mg::tool {

// Values shown the way the host's own "?" command shows them.
class ValueDisplay {
public:
    // Text when every byte is printable ASCII (tab and line breaks too),
    // 0h and upper-case hex digits otherwise; numbers with their decimals;
    // .T. and .F.; a function that returned nothing shows the host's default
    // result, .T.
    static std::string Show(const hostsim::Value& value);
    static bool Printable(const std::string& bytes);
    // A CRC result: "dec" as the host shows the number, "hex" as 4 (CRC-16)
    // or 8 (CRC-32) hex digits. Throws UsageError for another format.
    static std::string Checksum(const hostsim::Value& value, const std::string& format);
};

}  // namespace mg::tool

#endif
