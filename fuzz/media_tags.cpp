// The facts helper's readers of media tags (ID3v2 frames, compressed ones too; the MP4 movie box's tags
// and named keys; FLAC metadata blocks and Ogg pages to the Vorbis comments; APE items at the end) and of
// WavPack's block header, which step through hostile sizes: they must only ever answer, never crash or
// read past the file.
#include "facts/MediaTags.h"

#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const int fd = ::memfd_create("tags", MFD_CLOEXEC);
    if (fd < 0) return 0;
    if (::write(fd, data, size) == ssize_t(size)) {
        (void)id3Tag(fd).artists.size();
        (void)movieTags(fd).recorded.size();
        (void)vorbisTags(fd).artists.size();
        (void)apeTag(fd).title.size();
        (void)wavpackSeconds(fd, 0);
    }
    ::close(fd);
    return 0;
}
