#include "facts/Rows.h"

#include <QFile>
#include <poppler-qt6.h>
#include <qpdf/QPDF.hh>
#include <set>
#include <sys/stat.h>
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

constexpr int kDeepest = 64;
// Each node walked costs the library a few kilobytes and some microseconds: a bound well within the
// helper's memory and time.
constexpr qint64 kMostNodes = 20'000;

struct Walk {
    std::set<QPDFObjGen> seen;
    qint64 nodes = 0;
    qint64 pages = 0;
    bool cut = false; // stopped at the bound, not at a contradiction
};

// Counts the pages under one node of the page tree by walking it: the counts the nodes state may say
// anything. False when the tree contradicts itself (a node reached twice, a kid that is no node, a page
// with kids or a branch without) or the walk reaches its bound.
bool walk(QPDFObjectHandle node, int depth, Walk &w) {
    if (++w.nodes > kMostNodes) {
        w.cut = true;
        return false;
    }
    if (depth > kDeepest || !node.isDictionary()) return false;
    if (node.isIndirect() && !w.seen.insert(node.getObjGen()).second) return false;
    QPDFObjectHandle type = node.getKey("/Type");
    QPDFObjectHandle kids = node.getKey("/Kids");
    if (!kids.isArray()) {
        if (type.isNameAndEquals("/Pages")) return false;
        ++w.pages;
        return true;
    }
    if (type.isNameAndEquals("/Page")) return false;
    const int n = kids.getArrayNItems();
    for (int i = 0; i < n; ++i)
        if (!walk(kids.getArrayItem(i), depth + 1, w)) return false;
    return true;
}

std::optional<qint64> pageCount(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        // Rebuilding a broken cross-reference table reads the whole file: only for small ones.
        pdf.setAttemptRecovery(st.st_size <= 64 * 1024 * 1024);
        pdf.processFile(fdPath(fd).toLocal8Bit().constData());
        QPDFObjectHandle root = pdf.getRoot().getKey("/Pages");
        Walk w;
        if (walk(root, 0, w)) return w.pages;
        if (!w.cut) return std::nullopt;
        // Too large to walk through: the count the tree states, unless what was walked already
        // disproves it.
        QPDFObjectHandle count = root.isDictionary() ? root.getKey("/Count") : QPDFObjectHandle();
        if (count.isInteger() && count.getIntValue() >= w.pages && count.getIntValue() <= 100'000'000)
            return count.getIntValue();
        return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
}

// Encrypted, yet everything allowed that can be refused.
bool restricts(const Poppler::Document &doc) {
    return !(doc.okToPrint() && doc.okToPrintHighRes() && doc.okToChange() && doc.okToCopy() &&
             doc.okToAddNotes() && doc.okToFillForm() && doc.okToCreateFormFields() &&
             doc.okToExtractForAccessibility() && doc.okToAssemble());
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
    if (!locked) {
        if (const auto pages = pageCount(fd)) rows.set(Rows::pages, QString::number(*pages));
    }
    rows.set(Rows::security, locked                ? QStringLiteral("password")
                             : !doc->isEncrypted() ? QStringLiteral("none")
                             : restricts(*doc)     ? QStringLiteral("restricted")
                                                   : QStringLiteral("encrypted"));
    if (!locked) {
        const QDateTime created = doc->creationDate();
        if (created.isValid()) rows.set(Rows::captured, created.toString(Qt::ISODate));
    }
}
