// Property lists in XML form: settings files and attributes written by other programs.
#include "FuzzEnv.h"
#include "platform/Plist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray input = FuzzEnv::bytes(data, size);
    if (input.startsWith("bplist00")) return 0; // the binary reader's target
    if (const auto value = Plist::parse(input)) {
        Plist::toXml(*value);
        Plist::toBinary(*value);
    }
    return 0;
}
