// The answer of the content-facts helper: lines of a label, a tab and a value, read back by the app. The
// helper runs on hostile files, so its answer is outside data too.
#include "FuzzEnv.h"
#include "core/model/FactsHelper.h"

#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    FuzzEnv::home();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray answer(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const FullDetails::Extra &row : FactsHelper::parse(answer))
        (void)row.value.size();
    if (size >= sizeof(double)) {
        double seconds = 0;
        std::memcpy(&seconds, data, sizeof seconds);
        (void)FactsHelper::duration(seconds);
    }
    return 0;
}
