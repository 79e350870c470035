#include "facts/PdfRender.h"

#include "facts/Rows.h"

#include <QImage>
#include <QPdfDocument>
#include <cstdio>

namespace PdfRender {

namespace {
constexpr int kLargest = 4096;
constexpr int kMostPages = 64;

// Pages are paper: what the document leaves transparent shows white. Blended here by hand on this
// thread: Qt's own conversions split large pictures over a pool of threads, which under our address-space
// limit may never start, and the drawing would wait for them for ever.
QImage onWhite(const QImage &drawn, QSize px) {
    QImage page(px, QImage::Format_RGB32);
    page.fill(Qt::white);
    if (drawn.isNull()) return page;
    const int w = std::min(px.width(), drawn.width()), h = std::min(px.height(), drawn.height());
    const QImage::Format format = drawn.format();
    const bool premultiplied = format == QImage::Format_ARGB32_Premultiplied;
    const bool direct = premultiplied || format == QImage::Format_ARGB32 || format == QImage::Format_RGB32;
    for (int y = 0; y < h; ++y) {
        QRgb *out = reinterpret_cast<QRgb *>(page.scanLine(y));
        const QRgb *in = reinterpret_cast<const QRgb *>(drawn.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb c = direct ? in[x] : drawn.pixel(x, y);
            const int a = format == QImage::Format_RGB32 ? 255 : qAlpha(c);
            // White under a colour c of alpha a: c·a + 255·(255 − a), already c·a when premultiplied.
            const auto blend = [&](int v) {
                return premultiplied ? v + 255 - a : (v * a + 255 * (255 - a)) / 255;
            };
            out[x] = qRgb(blend(qRed(c)), blend(qGreen(c)), blend(qBlue(c)));
        }
    }
    return page;
}

bool write(const QByteArray &bytes) {
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size());
}
} // namespace

bool run(int fd, const Request &request) {
    if (request.width < 1 || request.height < 1 || request.width > kLargest || request.height > kLargest ||
        request.pages < 1 || request.pages > kMostPages)
        return false;
    QPdfDocument doc;
    if (doc.load(fdPath(fd)) != QPdfDocument::Error::None) return false;
    const int count = doc.pageCount();
    if (!write("KPDF " + QByteArray::number(count) + '\n')) return false;
    std::fflush(stdout);
    for (int i = 0; i < std::min(count, request.pages); ++i) {
        const QSizeF points = doc.pagePointSize(i);
        if (!(points.width() > 0 && points.height() > 0)) return false;
        const QSize px = points.scaled(QSizeF(request.width, request.height), Qt::KeepAspectRatio)
                             .toSize()
                             .expandedTo(QSize(1, 1))
                             .boundedTo(QSize(request.width, request.height));
        const QImage page = onWhite(doc.render(i, px), px);
        if (!write(QByteArray::number(px.width()) + ' ' + QByteArray::number(px.height()) + '\n'))
            return false;
        for (int y = 0; y < page.height(); ++y)
            if (!write(QByteArray::fromRawData(reinterpret_cast<const char *>(page.constScanLine(y)),
                                               qsizetype(page.width()) * 4)))
                return false;
        std::fflush(stdout);
    }
    return std::fflush(stdout) == 0;
}

} // namespace PdfRender
