// The names a zip, a tar stream and a 7z archive from outside store, read by our own readers; the tar
// stream in pieces as a pipe delivers it (the first byte picks the piece size).
#include "FuzzEnv.h"
#include "platform/ArchiveNames.h"
#include "platform/SevenZipNames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const QByteArrayView bytes(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    ArchiveNames::zip(bytes);
    SevenZipNames::read(bytes);
    ArchiveNames::TarFollower follower;
    const qsizetype piece = data[0] % 128 * 8 + 1;
    for (qsizetype at = 0; at < bytes.size(); at += piece)
        follower.feed(bytes.sliced(at, std::min(piece, bytes.size() - at)));
    for (const ArchiveNames::Stored &s : follower.take())
        ArchiveNames::composed(s.name);
    return 0;
}
