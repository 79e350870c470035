// The facts helper's reader of JPEG XL headers, bare codestreams and their container: it must only ever
// answer, never crash or read past the file.
#include "facts/ImageHeader.h"

#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const int fd = ::memfd_create("jxl", MFD_CLOEXEC);
    if (fd < 0) return 0;
    if (::write(fd, data, size) == ssize_t(size)) {
        if (const auto header = jxlHeader(fd)) (void)header->model;
    }
    ::close(fd);
    return 0;
}
