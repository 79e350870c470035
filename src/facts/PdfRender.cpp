#include "facts/PdfRender.h"

#include "facts/Rows.h"

#include <QImage>
#include <QPainter>
#include <QPdfDocument>
#include <cstdio>

namespace PdfRender {

namespace {
constexpr int kLargest = 4096;
constexpr int kMostPages = 64;

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
        const QImage drawn = doc.render(i, px);
        // Pages are paper: what the document leaves transparent shows white.
        QImage page(px, QImage::Format_RGB32);
        page.fill(Qt::white);
        if (!drawn.isNull()) {
            QPainter painter(&page);
            painter.drawImage(0, 0, drawn);
        }
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
