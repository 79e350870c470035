// kestrin-facts: reads the content facts of one file and prints them for the app; or, with --render,
// draws the pages of a PDF as raw pictures, with --picture a HEIF or AVIF photo. Run by the app in a process
// of its own under time and memory limits, so that a library meeting a hostile file can only end this
// process.
#include "facts/PdfRender.h"
#include "facts/PictureRender.h"
#include "facts/Rows.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QTextBoundaryFinder>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <new>
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

// The one type the name tells, whatever the content; the content decides where the name tells none, or
// several ("*.ts": a Linguist text or a transport stream).
QMimeType typeOf(const QString &name, int fd) {
    static const QMimeDatabase db;
    const QList<QMimeType> byName = db.mimeTypesForFileName(name);
    if (byName.size() == 1) return byName.first();
    QByteArray head(4096, '\0');
    const ssize_t n = ::pread(fd, head.data(), head.size(), 0);
    head.resize(n > 0 ? n : 0);
    if (byName.isEmpty()) return db.mimeTypeForData(head);
    return db.mimeTypeForFileNameAndData(name, head);
}

// Recordings in containers the type database names as no media type (MXF) or does not know (CAF): the
// content tells them.
bool mediaByContent(int fd) {
    unsigned char head[16];
    if (::pread(fd, head, sizeof head, 0) != ssize_t(sizeof head)) return false;
    // MXF's header partition pack; CAF's file header of version 1.
    static const unsigned char kMxf[] = {0x06, 0x0E, 0x2B, 0x34, 0x02, 0x05, 0x01,
                                         0x01, 0x0D, 0x01, 0x02, 0x01, 0x01, 0x02};
    return std::memcmp(head, kMxf, sizeof kMxf) == 0 || std::memcmp(head, "caff\0\1", 6) == 0;
}

bool isA(const QMimeType &type, QStringView prefix) {
    if (type.name().startsWith(prefix)) return true;
    for (const QString &parent : type.allAncestors())
        if (parent.startsWith(prefix)) return true;
    return false;
}

// Room kept for the answer: given back when an allocation fails, so that the rows found before still go out.
char *reserve = nullptr;
const Rows *found = nullptr;

void giveBackReserve() {
    delete[] reserve;
    reserve = nullptr;
}

bool answer(const Rows &rows) {
    const QByteArray text = rows.text();
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    return std::fflush(stdout) == 0;
}

int usage() {
    std::fputs("usage: kestrin-facts [--] FILE\n"
               "       kestrin-facts --render WIDTH HEIGHT PAGES [--] FILE\n"
               "       kestrin-facts --picture WIDTH HEIGHT [--] FILE\n",
               stderr);
    return 2;
}

// The app takes at most this many bytes of a value.
constexpr qsizetype kMaxValueBytes = 2048;

QByteArray shown(QString value) {
    value.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
    // Other control characters (C0 and C1) and the line and paragraph separators would cost the whole
    // row: only they go.
    value.removeIf([](QChar c) {
        const auto kind = c.category();
        return kind == QChar::Other_Control || kind == QChar::Separator_Line ||
               kind == QChar::Separator_Paragraph;
    });
    QByteArray bytes = value.toUtf8();
    if (bytes.size() <= kMaxValueBytes) return bytes;
    // Cut between whole characters, leaving room for the ellipsis.
    static const QByteArray ellipsis = QStringLiteral("\u2026").toUtf8();
    // No character takes less than a byte, so what is kept lies within this head.
    const QString head = value.left(kMaxValueBytes);
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, head);
    qsizetype end = 0, size = ellipsis.size();
    for (qsizetype at = graphemes.toNextBoundary(); at > 0; at = graphemes.toNextBoundary()) {
        size += QStringView(head).mid(end, at - end).toUtf8().size();
        if (size > kMaxValueBytes) break;
        end = at;
    }
    return QStringView(head).left(end).toUtf8() + ellipsis;
}

} // namespace

QByteArray Rows::text() const {
    QByteArray out;
    for (size_t i = 0; i < m_values.size(); ++i) {
        if (!m_values[i]) continue;
        out += kLabels[i];
        out += '\t';
        out += shown(*m_values[i]);
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
    const bool picture = !args.isEmpty() && args.first() == u"--picture";
    PdfRender::Request request;
    if (render || picture) {
        const int numbers = render ? 3 : 2;
        if (args.size() < numbers + 2) return usage();
        bool ok[3] = {true, true, true};
        request.width = args[1].toInt(&ok[0]);
        request.height = args[2].toInt(&ok[1]);
        if (render) request.pages = args[3].toInt(&ok[2]);
        if (!ok[0] || !ok[1] || !ok[2]) return usage();
        args = args.mid(numbers + 1);
    }
    if (!args.isEmpty() && args.first() == u"--") args.removeFirst();
    if (args.size() != 1) return usage();

    // The name's own bytes, whatever they are: no round trip through text.
    const QByteArray path(argv[argc - 1]);
    const int fd = openRegular(path.constData());
    if (fd < 0) return 0; // nothing to say about it
    if (render) return PdfRender::run(fd, request) ? 0 : 1;
    if (picture) {
        try {
            return PictureRender::run(fd, request.width, request.height) ? 0 : 1;
        } catch (...) { // out of memory under our limit, or a library giving up its own way
            return 1;
        }
    }

    reserve = new char[1 << 20];
    std::set_new_handler([] {
        giveBackReserve();
        std::set_new_handler(nullptr);
        throw std::bad_alloc();
    });
    Rows rows;
    found = &rows;
    // A library that ends the process its own way (an exception through a function that allows none)
    // still leaves the rows it had found.
    std::set_terminate([] {
        giveBackReserve();
        std::fputs("kestrin-facts: a reader ended abruptly\n", stderr);
        std::_Exit(found && answer(*found) ? 0 : 1);
    });
    try {
        const QMimeType type = typeOf(QFileInfo(QFile::decodeName(path)).fileName(), fd);
        if (type.name() == u"application/pdf" || type.inherits(QStringLiteral("application/pdf")))
            readPdf(fd, rows);
        else if (isA(type, u"image/"))
            readImage(fd, type, rows);
        else if (isA(type, u"audio/") || isA(type, u"video/") || type.name() == u"application/ogg" ||
                 mediaByContent(fd))
            readMedia(fd, rows);
    } catch (const std::bad_alloc &) {
        // Out of memory under our limit: the rows found before still go out, and a person running this
        // by hand learns why the rest are missing.
        giveBackReserve();
        std::fputs("kestrin-facts: out of memory; the rows found before follow\n", stderr);
    } catch (...) {
        giveBackReserve();
        std::fputs("kestrin-facts: a reader gave up; the rows found before follow\n", stderr);
    }
    return answer(rows) ? 0 : 1;
}
