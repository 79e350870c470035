#pragma once

#include <QSize>
#include <QString>
#include <cstddef>
#include <optional>

// What an image's header says of it, read without decoding any pixels.
struct ImageHeader {
    QSize size;
    std::optional<QString> model; // colour space
};

// The description an ICC profile gives itself; empty when it has none, nothing when the profile cannot
// be read.
std::optional<QString> profileDescription(const void *icc, size_t size);

// A HEIF or AVIF picture's size (as shown, after its turns and crops) and colour space, from the boxes
// alone; nothing for any other file or one the library refuses.
std::optional<ImageHeader> heifHeader(int fd);
