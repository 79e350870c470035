#include "facts/Rows.h"

#include <QFile>
#include <poppler-qt6.h>
#include <unistd.h>

namespace {

// The version in the file's header line ("%PDF-1.7"), for a locked document: the library's own answer
// needs the document opened (and takes the process down when it is not).
std::optional<QString> headerVersion(int fd) {
    char head[1024];
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    if (n <= 0) return std::nullopt;
    const QByteArray bytes(head, n);
    const qsizetype at = bytes.indexOf("%PDF-");
    if (at < 0 || at + 8 > bytes.size()) return std::nullopt;
    const char major = bytes[at + 5], dot = bytes[at + 6], minor = bytes[at + 7];
    if (major < '1' || major > '9' || dot != '.' || minor < '0' || minor > '9') return std::nullopt;
    return QString::fromLatin1(bytes.mid(at + 5, 3));
}

} // namespace

void readPdf(int fd, Rows &rows) {
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) return;
    const std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(&file);
    if (!doc) return;
    const bool locked = doc->isLocked();
    if (!locked) {
        const QString title = doc->title().trimmed();
        if (!title.isEmpty()) rows.set(Rows::title, title);
        const QString author = doc->author().trimmed();
        if (!author.isEmpty()) rows.set(Rows::authors, author);
    }
    if (locked) {
        if (const auto v = headerVersion(fd)) rows.set(Rows::version, *v);
    } else {
        const Poppler::Document::PdfVersion v = doc->getPdfVersion();
        if (v.major > 0 && v.major < 100 && v.minor >= 0 && v.minor < 100)
            rows.set(Rows::version, QStringLiteral("%1.%2").arg(v.major).arg(v.minor));
    }
    if (!locked) rows.set(Rows::pages, QString::number(doc->numPages()));
    rows.set(Rows::security, locked               ? QStringLiteral("password")
                             : doc->isEncrypted() ? QStringLiteral("restricted")
                                                  : QStringLiteral("none"));
    if (!locked) {
        const QDateTime created = doc->creationDate();
        if (created.isValid()) rows.set(Rows::captured, created.toString(Qt::ISODate));
    }
}
