// Transfer journals as the start reads them from the state folder, where any program of the user's may have
// written: every line read within its bound, none taken for more than it says. Parsed only: settling acts
// on the items a journal names.
#include "FuzzEnv.h"
#include "core/filesteps/TransferJournal.h"

#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    FuzzEnv::home();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const int fd = ::memfd_create("journal", MFD_CLOEXEC);
    if (fd < 0) std::abort();
    if (size && ::write(fd, data, size) != ssize_t(size)) std::abort();
    ::lseek(fd, 0, SEEK_SET);
    const qsizetype n = FileSteps::Journal::countRecords(fd);
    ::close(fd);
    // A record takes at least a line of its own.
    if (n > qsizetype(size)) std::abort();
    return 0;
}
