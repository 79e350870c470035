// Binary property lists: tag, comment and open-with attributes. Inputs are taken as the part after the
// "bplist00" header, so mutations are not wasted on it.
#include "FuzzEnv.h"
#include "platform/Plist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray input = "bplist00" + FuzzEnv::bytes(data, size);
    if (const auto value = Plist::parse(input)) {
        Plist::toXml(*value);
        Plist::toBinary(*value);
    }
    return 0;
}
