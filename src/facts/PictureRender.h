#pragma once

// A HEIF or AVIF photo drawn for the app's thumbnails and previews (Qt has no reader for them): decoded by
// libheif as it is shown (turned, mirrored, cropped), fitted whole into the box asked for, never enlarged,
// and written to standard output as "KIMG <width> <height>\n" and width*height pixels of 4 bytes (32-bit
// premultiplied 0xAARRGGBB in the machine's byte order).
namespace PictureRender {

bool run(int fd, int width, int height);

} // namespace PictureRender
