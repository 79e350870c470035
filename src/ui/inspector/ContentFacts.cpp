#include "ui/inspector/ContentFacts.h"

#include "core/localisation/Lang.h"
#include "core/model/FullDetails.h"
#include "core/model/MimeKinds.h"
#include "platform/DisplayFile.h"
#include "platform/Posix.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPdfDocument>

namespace ContentFacts {

namespace {

// Larger files are not opened for their facts: the rows are a nicety, not worth a long read.
constexpr qint64 kMaxPdfBytes = 256LL * 1024 * 1024;

QList<FullDetails::Extra> read(const QString &path) {
    QList<FullDetails::Extra> rows;
    // Opened once without blocking and checked on the descriptor: a FIFO or device is no picture.
    const Posix::DisplayFile file(path);
    if (!file.isOpen()) return rows;
    const QString mime = MimeKinds::typeForName(Posix::lastComponent(path)).name();
    if (mime == QStringLiteral("application/pdf")) {
        if (file.size() > kMaxPdfBytes) return rows;
        QPdfDocument doc;
        if (doc.load(path) != QPdfDocument::Error::None) return rows;
        const QString title = doc.metaData(QPdfDocument::MetaDataField::Title).toString();
        if (!title.isEmpty()) rows.append({QString::fromUtf8(K("Titel")), title});
        const QString author = doc.metaData(QPdfDocument::MetaDataField::Author).toString();
        if (!author.isEmpty()) rows.append({QString::fromUtf8(K("Autoren")), author});
        rows.append({QString::fromUtf8(K("Seiten")), QString::number(doc.pageCount())});
        return rows;
    }
    if (!mime.startsWith(QStringLiteral("image/"))) return rows;
    // The header only, from the descriptor checked above: size() decodes no pixels.
    QFile device;
    if (!device.open(file.fd(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) return rows;
    QImageReader reader(&device, QFileInfo(path).suffix().toLatin1());
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    if (size.width() > 0 && size.height() > 0)
        rows.append({QString::fromUtf8(K("Auflösung")),
                     QString::number(size.width()) + QChar(0x00D7) + QString::number(size.height())});
    return rows;
}

} // namespace

void install() {
    FullDetails::setExtraProvider(&read);
}

} // namespace ContentFacts
