// Stored cleanup rules, as a backup or another version may bring them.
#include "FuzzEnv.h"
#include "core/tools/CleanRule.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    FuzzEnv::home();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (const auto rules = RulesEngine::decode(FuzzEnv::bytes(data, size)))
        RulesEngine::decode(RulesEngine::encode(*rules));
    return 0;
}
