// The facts helper's reader of HEIF and AVIF boxes, which hands hostile files to libheif, and its reader of
// TGA headers: they must only ever answer, never crash or read past the file.
#include "facts/ImageHeader.h"

#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const int fd = ::memfd_create("heif", MFD_CLOEXEC);
    if (fd < 0) return 0;
    if (::write(fd, data, size) == ssize_t(size)) {
        if (const auto header = heifHeader(fd)) (void)header->model;
        if (const auto header = tgaHeader(fd)) (void)header->model;
    }
    ::close(fd);
    return 0;
}
