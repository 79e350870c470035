#include "facts/ImageHeader.h"

#include <cerrno>
#include <cstring>
#include <lcms2.h>
#include <libheif/heif.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

std::optional<QString> profileDescription(const void *icc, size_t size) {
    cmsHPROFILE profile = cmsOpenProfileFromMem(icc, cmsUInt32Number(size));
    if (!profile) return std::nullopt;
    wchar_t text[256] = {};
    const cmsUInt32Number n = cmsGetProfileInfo(profile, cmsInfoDescription, "en", "US", text, sizeof text);
    cmsCloseProfile(profile);
    if (n == 0) return QString();
    text[255] = 0;
    return QString::fromWCharArray(text).trimmed();
}

namespace {

// libheif refuses a picture declared wider or taller than this as it reads the boxes (its own default,
// held to here).
constexpr int kMaxSide = 32768;
// No real profile comes near this; a larger one is not loaded.
constexpr size_t kMaxProfile = 4 << 20;
// Nor of Exif, which a JPEG holds in 64 KiB.
constexpr size_t kMaxExif = 1 << 20;

// The open file as libheif reads it: by offset, never past the size it had when we looked, so that a file
// still growing reads as the part that was there.
using Source = HeifFile::Source;

int64_t position(void *source) {
    return static_cast<Source *>(source)->at;
}

int readBytes(void *data, size_t size, void *source) {
    Source &s = *static_cast<Source *>(source);
    if (s.at < 0 || s.at > s.size || size > uint64_t(s.size - s.at)) return 1;
    auto *out = static_cast<char *>(data);
    while (size > 0) {
        const ssize_t n = ::pread(s.fd, out, size, off_t(s.at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 1;
        out += n;
        size -= size_t(n);
        s.at += n;
    }
    return 0;
}

int seekTo(int64_t at, void *source) {
    Source &s = *static_cast<Source *>(source);
    if (at < 0 || at > s.size) return 1;
    s.at = at;
    return 0;
}

heif_reader_grow_status waitFor(int64_t size, void *source) {
    return size <= static_cast<Source *>(source)->size ? heif_reader_grow_status_size_reached
                                                       : heif_reader_grow_status_size_beyond_eof;
}

bool readAt(int fd, unsigned char *out, size_t n, int64_t at) {
    return ::pread(fd, out, n, off_t(at)) == ssize_t(n);
}

uint64_t be(const unsigned char *p, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | p[i];
    return v;
}

// Whether the picture is grey, which libheif tells only by decoding it. Every coded picture (tiles, alpha,
// depth, thumbnails) comes with its channel count in a pixel information property; a colour picture has
// one with three, a grey one only ones.
bool grey(int fd, int64_t size) {
    const IsoBox file{{}, 0, size};
    const auto meta = isoChild(fd, file, 0, "meta");
    const auto iprp =
        meta ? isoChild(fd, *meta, meta->body + 4, "iprp") : std::nullopt; // after version, flags
    const auto ipco = iprp ? isoChild(fd, *iprp, iprp->body, "ipco") : std::nullopt;
    if (!ipco) return false;
    auto pixi = isoChild(fd, *ipco, ipco->body, "pixi");
    if (!pixi) return false;
    for (int n = 0; pixi; ++n, pixi = isoChild(fd, *ipco, pixi->end, "pixi")) {
        unsigned char channels = 0;
        if (n == 4096 || pixi->end - pixi->body < 5 || !readAt(fd, &channels, 1, pixi->body + 4) ||
            channels != 1)
            return false;
    }
    return true;
}

} // namespace

std::optional<IsoBox> isoChild(int fd, const IsoBox &within, int64_t at, const char *type) {
    for (int n = 0; n < 4096 && at < within.end; ++n) {
        unsigned char h[16];
        if (within.end - at < 8 || !readAt(fd, h, 8, at)) return std::nullopt;
        IsoBox box;
        std::memcpy(box.type, h + 4, 4);
        uint64_t length = be(h, 4);
        box.body = at + 8;
        if (length == 1) { // a 64-bit length follows
            if (within.end - at < 16 || !readAt(fd, h + 8, 8, at + 8)) return std::nullopt;
            length = be(h + 8, 8);
            box.body = at + 16;
        } else if (length == 0) { // to the end
            length = uint64_t(within.end - at);
        }
        if (length < uint64_t(box.body - at) || length > uint64_t(within.end - at)) return std::nullopt;
        box.end = at + int64_t(length);
        if (std::memcmp(box.type, type, 4) == 0) return box;
        at = box.end;
    }
    return std::nullopt;
}

std::unique_ptr<HeifFile> openHeif(int fd) {
    // The file type box, which names the brands, comes first; a file without one is no picture of ours.
    unsigned char head[512];
    const ssize_t got = ::pread(fd, head, sizeof head, 0);
    // Image sequences are "yes, unsupported", and still hold a picture the library reads the size of.
    if (got < 12) return nullptr;
    const heif_filetype_result kind = heif_check_filetype(head, int(got));
    if (kind != heif_filetype_yes_supported && kind != heif_filetype_yes_unsupported) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return nullptr;

    static const bool ready = heif_init(nullptr).code == heif_error_Ok;
    if (!ready) return nullptr;
    auto file = std::make_unique<HeifFile>();
    file->source = Source{fd, int64_t(st.st_size)};
    file->context.reset(heif_context_alloc());
    if (!file->context) return nullptr;
    heif_context_set_maximum_image_size_limit(file->context.get(), kMaxSide);
    heif_context_set_max_decoding_threads(file->context.get(), 0);
    static const heif_reader reader{1, position, readBytes, seekTo, waitFor};
    if (heif_context_read_from_reader(file->context.get(), &reader, &file->source, nullptr).code !=
        heif_error_Ok)
        return nullptr;
    heif_image_handle *raw = nullptr;
    if (heif_context_get_primary_image_handle(file->context.get(), &raw).code != heif_error_Ok || !raw)
        return nullptr;
    file->image.reset(raw);
    const int w = heif_image_handle_get_width(raw), h = heif_image_handle_get_height(raw);
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) return nullptr;
    return file;
}

std::optional<ImageHeader> heifHeader(int fd) {
    const std::unique_ptr<HeifFile> file = openHeif(fd);
    if (!file) return std::nullopt;
    heif_image_handle *const image = file->image.get();
    const Source &source = file->source;

    ImageHeader h;
    h.size = QSize(heif_image_handle_get_width(image), heif_image_handle_get_height(image));
    // The Exif item comes with the offset of its TIFF header, after which exiv2 reads it.
    heif_item_id exifId = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(image, "Exif", &exifId, 1) == 1) {
        const size_t size = heif_image_handle_get_metadata_size(image, exifId);
        if (size > 4 && size <= kMaxExif) {
            QByteArray exif(qsizetype(size), '\0');
            if (heif_image_handle_get_metadata(image, exifId, exif.data()).code == heif_error_Ok) {
                const uint64_t offset = be(reinterpret_cast<const unsigned char *>(exif.constData()), 4);
                if (offset < size - 4) h.exif = exif.mid(qsizetype(4 + offset));
                if (h.exif.startsWith(QByteArrayView("Exif\0\0", 6))) h.exif.remove(0, 6);
            }
        }
    }
    // The name of the profile where there is one, as the other formats show theirs; else grey or RGB by
    // the channels. The coding parameters (nclx) tell no more.
    if (grey(fd, source.size)) h.model = QStringLiteral("Gray");
    const heif_color_profile_type profile = heif_image_handle_get_color_profile_type(image);
    if (profile == heif_color_profile_type_rICC || profile == heif_color_profile_type_prof) {
        const size_t size = heif_image_handle_get_raw_color_profile_size(image);
        if (size == 0 || size > kMaxProfile) return h;
        QByteArray icc(qsizetype(size), '\0');
        if (heif_image_handle_get_raw_color_profile(image, icc.data()).code == heif_error_Ok)
            if (const auto name = profileDescription(icc.constData(), size)) h.model = name;
    }
    return h;
}

std::optional<ImageHeader> tgaHeader(int fd) {
    unsigned char h[18];
    if (!readAt(fd, h, sizeof h, 0)) return std::nullopt;
    const int mapType = h[1], imageType = h[2], depth = h[16];
    const int width = h[12] | h[13] << 8, height = h[14] | h[15] << 8;
    // Colour-mapped, true colour or grey, each plain or run-length coded.
    const bool grey = imageType == 3 || imageType == 11;
    const bool known = imageType == 1 || imageType == 2 || imageType == 9 || imageType == 10 || grey;
    if (mapType > 1 || !known || width == 0 || height == 0 ||
        (depth != 8 && depth != 15 && depth != 16 && depth != 24 && depth != 32))
        return std::nullopt;
    ImageHeader header;
    header.size = QSize(width, height);
    header.model = grey ? QStringLiteral("Gray") : QStringLiteral("RGB");
    return header;
}
