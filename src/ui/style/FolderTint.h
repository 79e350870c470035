#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>

// Recolours folder icons to the colour of a tag: the whole icon is turned on the colour circle
// so that its dominant hue lands on the tag's hue (or made grey for tag colour 1).
namespace FolderTint {

inline constexpr int side = 128; // every icon is tinted on a 128 x 128 surface

// Target hue in degrees of a tag colour number; numbers outside 2...7 give orange's 28.
double targetHue(int number);

// Recolours premultiplied RGBA pixels (bytes R, G, B, A) in place.
void tintBuffer(std::uint8_t *rgba, std::size_t pixelCount, int number);

// Draws image scaled onto a transparent 128 x 128 surface and recolours it. A null input gives a
// null image.
QImage tintPixels(const QImage &image, int number);

} // namespace FolderTint
