// The facts helper's readers of ID3v2 tags and of the MP4 movie box's tags, which step through hostile
// frame and box sizes: they must only ever answer, never crash or read past the file.
#include "facts/MediaTags.h"

#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const int fd = ::memfd_create("tags", MFD_CLOEXEC);
    if (fd < 0) return 0;
    if (::write(fd, data, size) == ssize_t(size)) {
        (void)id3Tag(fd).artists.size();
        (void)movieTags(fd).created.size();
    }
    ::close(fd);
    return 0;
}
