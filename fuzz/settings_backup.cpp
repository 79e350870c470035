// A settings backup chosen for a restore: the property list, the kinds of its values, the entries and
// favourites it brings and the rules compared with the ones in use.
#include "FuzzEnv.h"
#include "core/app/SettingsBackup.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    FuzzEnv::home();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::optional<SettingsBackup::Contents> contents = SettingsBackup::decode(FuzzEnv::bytes(data, size));
    if (contents) SettingsBackup::guardRules(*contents, {});
    return 0;
}
