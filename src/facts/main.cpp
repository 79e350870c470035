// kestrin-facts: reads the content facts of one file and prints them for the app; or, with --render,
// draws the pages of a PDF as raw pictures. Run by the app in a process of its own under time and memory
// limits, so that a library meeting a hostile file can only end this process.
#include "facts/PdfRender.h"
#include "facts/Rows.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMimeDatabase>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const kLabels[] = {"Titel",    "Autoren", "Version", "Seiten",     "Auflösung",
                               "Farbraum", "Dauer",   "Codecs",  "Sicherheit", "Aufnahme"};

// Only a regular file: a FIFO or a device would block the reader or never end. The non-blocking open
// returns at once for a FIFO without a writer; the check is made on the descriptor itself.
int openRegular(const char *path) {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

QMimeType typeOf(const QString &name, int fd) {
    static const QMimeDatabase db;
    QMimeType type = db.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    if (!type.isDefault()) return type;
    QByteArray head(4096, '\0');
    const ssize_t n = ::pread(fd, head.data(), head.size(), 0);
    head.resize(n > 0 ? n : 0);
    return db.mimeTypeForData(head);
}

bool isA(const QMimeType &type, QStringView prefix) {
    if (type.name().startsWith(prefix)) return true;
    for (const QString &parent : type.allAncestors())
        if (parent.startsWith(prefix)) return true;
    return false;
}

int usage() {
    std::fputs("usage: kestrin-facts [--] FILE\n"
               "       kestrin-facts --render WIDTH HEIGHT PAGES [--] FILE\n",
               stderr);
    return 2;
}

} // namespace

QByteArray Rows::text() const {
    QByteArray out;
    for (size_t i = 0; i < m_values.size(); ++i) {
        if (!m_values[i]) continue;
        QString value = *m_values[i];
        value.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
        out += kLabels[i];
        out += '\t';
        out += value.toUtf8();
        out += '\n';
    }
    return out;
}

QString fdPath(int fd) {
    return QStringLiteral("/proc/self/fd/%1").arg(fd);
}

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool render = !args.isEmpty() && args.first() == u"--render";
    PdfRender::Request request;
    if (render) {
        if (args.size() < 5) return usage();
        bool ok[3] = {};
        request.width = args[1].toInt(&ok[0]);
        request.height = args[2].toInt(&ok[1]);
        request.pages = args[3].toInt(&ok[2]);
        if (!ok[0] || !ok[1] || !ok[2]) return usage();
        args = args.mid(4);
    }
    if (!args.isEmpty() && args.first() == u"--") args.removeFirst();
    if (args.size() != 1) return usage();

    // The name's own bytes, whatever they are: no round trip through text.
    const QByteArray path(argv[argc - 1]);
    const int fd = openRegular(path.constData());
    if (fd < 0) return 0; // nothing to say about it
    if (render) return PdfRender::run(fd, request) ? 0 : 1;

    const QMimeType type = typeOf(QFileInfo(QFile::decodeName(path)).fileName(), fd);
    Rows rows;
    if (type.name() == u"application/pdf" || type.inherits(QStringLiteral("application/pdf")))
        readPdf(fd, rows);
    else if (isA(type, u"image/"))
        readImage(fd, rows);
    else if (isA(type, u"audio/") || isA(type, u"video/") || type.name() == u"application/ogg")
        readMedia(fd, rows);
    const QByteArray text = rows.text();
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
