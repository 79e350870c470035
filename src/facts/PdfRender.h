#pragma once

// The pages of a PDF drawn as pictures for the app's previews, written to standard output as they are
// done: "KPDF <page count>\n", then per page "<width> <height>\n" and width*height pixels of 4 bytes
// (32-bit 0xffRRGGBB in the machine's byte order), the page on white.
namespace PdfRender {

struct Request {
    int width = 0; // the box each page is fitted into
    int height = 0;
    int pages = 1; // pages drawn from the first
};

bool run(int fd, const Request &request);

} // namespace PdfRender
