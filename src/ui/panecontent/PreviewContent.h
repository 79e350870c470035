#pragma once

#include "core/model/TextDecode.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <functional>

#include <functional>

class QThreadPool;

// What the preview window shows of one file, read off the main thread. Everything read from the file is
// bounded: images decode under an allocation limit and a pixel cap (HEIF and AVIF photos in our helper
// program, as PDF pages), PDFs show their first pages, text its first mebibyte. Only regular files are opened
// (a FIFO or a device would block the reader).
namespace PreviewContent {

enum class Kind { image, pdf, text, facts };

inline constexpr qint64 kTextBytes = 1024 * 1024;         // text read from a file
inline constexpr qint64 kFileBytes = 512LL * 1024 * 1024; // images and PDFs larger than this are not read
inline constexpr int kImageAllocationMB = 256;            // the decoder's own limit
inline constexpr qint64 kImagePixels = 20000LL * 20000;   // the declared size a decoder may start on
inline constexpr int kPdfPages = 8;                       // pages rendered
inline constexpr int kPdfBudgetMs = 5000;                 // time the pages may take to draw
inline constexpr int kLargest = 2400;                     // longest side of a decoded image or page
inline constexpr qsizetype kLinePiece = 1000;             // characters of a line laid out as one

struct Result {
    Kind kind = Kind::facts;
    QList<QImage> images; // the picture, or the rendered pages
    int pageCount = 0;    // PDFs: the pages the document has
    QString text;
    QByteArray encoding; // text: the encoding it was read in
    bool truncated = false;
};

// The viewer for a path, from what the file is (no decoding yet).
Kind kindFor(const QString &path);
// Reads the file for its viewer; falls back to facts when the viewer cannot show it (a PDF whose first
// page does not draw within its budget too). target: the area the picture or each page is fitted into
// (no upscaling of pictures). cancelled: polled while PDF pages or a photo draw; true stops the drawing.
Result load(const QString &path, const QSize &target, const std::function<bool()> &cancelled = {});

// Text with each line longer than kLinePiece characters going on in pieces of at most that many (never
// inside a character or, where one is short enough, a cluster): the text view lays out a line whole, and a
// mebibyte in one line would hold up the window for most of a second.
QString inPieces(const QString &text);

// The pool the preview window reads in: never waited for at quit, so a reader stuck on a dead mount does not
// hold up the end of the program.
QThreadPool *readers();
// Tests: runs after the file has been opened and looked at, before anything is read from it.
void setCheckedHook(std::function<void(const QString &path)> hook);

// The text decoder of the preview (see TextDecode).
using TextDecode::decode;
using TextDecode::detectEncoding;

} // namespace PreviewContent
