// The verbose listing an archive tool prints for an archive from outside, read whole and in pieces as the
// pipe delivers it (the first byte picks the piece size and whether the names are kept).
#include "FuzzEnv.h"
#include "core/fileops/ArchiveFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const QByteArrayView text(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    Archive::parseListing(text);
    const qsizetype piece = data[0] % 64 + 1;
    Archive::ListingReader reader(data[0] & 0x80); // with the names kept half of the time
    for (qsizetype at = 0; at < text.size(); at += piece)
        reader.feed(text.sliced(at, std::min(piece, text.size() - at)));
    reader.finish();
    return 0;
}
