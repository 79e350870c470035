#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <libheif/heif.h>
#include <memory>
#include <optional>

// What an image's header says of it, read without decoding any pixels.
struct ImageHeader {
    QSize size;
    std::optional<QString> model; // colour space
    bool guessed = false;         // the model is a reader's guess, not the file's word
    QByteArray exif;              // a HEIF picture's Exif, from its TIFF header on
};

// The description an ICC profile gives itself; empty when it has none, nothing when the profile cannot
// be read.
std::optional<QString> profileDescription(const void *icc, size_t size);

// A HEIF or AVIF file as libheif reads it, by offset from the open file and never past the size it had
// when it was opened: its primary picture, whose sides are at most 32768.
struct HeifFile {
    struct Source {
        int fd = -1;
        int64_t size = 0;
        int64_t at = 0;
    };
    Source source;
    std::unique_ptr<heif_context, decltype(&heif_context_free)> context{nullptr, heif_context_free};
    std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)> image{nullptr,
                                                                                   heif_image_handle_release};
};
// Nothing for any other file or one the library refuses.
std::unique_ptr<HeifFile> openHeif(int fd);

// A HEIF or AVIF picture's size (as shown, after its turns and crops), colour space and Exif, from the
// boxes alone; nothing for any other file or one the library refuses.
std::optional<ImageHeader> heifHeader(int fd);

// A JPEG XL picture's size (as shown, after its orientation) and colour space, from the head of its
// codestream, bare or in its container; nothing for any other file.
std::optional<ImageHeader> jxlHeader(int fd);

// A TGA picture's size and colour space from its fixed header; nothing when the header is not one.
std::optional<ImageHeader> tgaHeader(int fd);

// A box of an ISO media file (HEIF, MP4): its type, where its body starts and where it ends.
struct IsoBox {
    char type[4];
    int64_t body;
    int64_t end;
};

// The first box of the type among those from `at` to the end of `within`, looking at no more than a few
// thousand of them.
std::optional<IsoBox> isoChild(int fd, const IsoBox &within, int64_t at, const char *type);
