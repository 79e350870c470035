#pragma once

#include "platform/Confined.h"

#include <QByteArray>
#include <QImage>
#include <QMimeType>
#include <QSize>
#include <QString>

// HEIF (HEIC) and AVIF photos, which Qt has no reader for, drawn by our helper program through libheif in
// a process of its own under a time budget and a memory limit, as PDF pages are (PdfPages): a codec meeting
// a hostile file costs at most the budget and never the window. Blocks the calling thread.
namespace HeifPicture {

inline constexpr qint64 kMemoryBytes = 1LL << 30; // a photo of 48 megapixels decodes within it
inline constexpr int kLargest = 4096;             // longest side of the box a photo is drawn into

// Whether files of the type are drawn here.
bool handles(const QMimeType &type);

// The photo as it is shown, fitted whole into box and never enlarged; null when it cannot be drawn within
// budgetMs or cancelled() said so. A version of a file that drew nothing within as long a budget before is
// not drawn again.
QImage render(const QString &path, QSize box, int budgetMs, const Confined::Cancelled &cancelled = {});

// The helper's answer read back: one picture no larger than box, else null.
QImage parse(const QByteArray &answer, QSize box);

} // namespace HeifPicture
