#include "ui/inspector/ContentFacts.h"

#include "core/localisation/Lang.h"
#include "core/model/FullDetails.h"
#include "core/model/MimeKinds.h"
#include "platform/Posix.h"

#include <QImageReader>
#include <QPdfDocument>
#include <sys/stat.h>

namespace ContentFacts {

namespace {

// Larger files are not opened for their facts: the rows are a nicety, not worth a long read.
constexpr qint64 kMaxPdfBytes = 256LL * 1024 * 1024;

QList<FullDetails::Extra> read(const QString &path) {
    QList<FullDetails::Extra> rows;
    struct stat st {};
    if (!Posix::statPath(path, st) || !S_ISREG(st.st_mode)) return rows;
    const QString mime = MimeKinds::typeForName(Posix::lastComponent(path)).name();
    if (mime == QStringLiteral("application/pdf")) {
        if (st.st_size > kMaxPdfBytes) return rows;
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
    // The header only: size() decodes no pixels.
    QImageReader reader(path);
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
