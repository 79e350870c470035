#include "facts/Rows.h"

#include <QIODevice>
#include <cstring>
#include <poppler-qt6.h>
#include <qpdf/InputSource.hh>
#include <qpdf/QPDF.hh>
#include <set>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The file as it was when the reading began: bytes appended meanwhile (a download, a writer at work) are
// not there. The libraries look for the cross-reference table at the end and, not finding it there, scan
// the file up to its end, which one that grows without pause moves on ahead of them. Both read a few bytes
// at a time while they scan, so reads come from a window of the file read in one go.
class SizedReader {
public:
    SizedReader(int fd, qint64 size) : m_fd(fd), m_size(size) {}
    qint64 size() const { return m_size; }
    // Up to `most` bytes at `at`, fewer only at the end; -1 where the file cannot be read.
    qint64 read(qint64 at, char *data, qint64 most) {
        most = std::min(most, m_size - at);
        qint64 done = 0;
        while (done < most) {
            const qint64 from = at + done;
            if (from < m_start || from >= m_start + m_held) {
                const ssize_t n = ::pread(
                    m_fd, m_window, size_t(std::min<qint64>(sizeof m_window, m_size - from)), off_t(from));
                if (n < 0) return -1;
                if (n == 0) break;
                m_start = from;
                m_held = n;
            }
            const qint64 n = std::min(most - done, m_start + m_held - from);
            std::memcpy(data + done, m_window + (from - m_start), size_t(n));
            done += n;
        }
        return done;
    }

private:
    int m_fd;
    qint64 m_size, m_start = 0, m_held = 0;
    char m_window[64 * 1024];
};

class SizedFile : public QIODevice {
public:
    SizedFile(int fd, qint64 size) : m_file(fd, size) {}
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_file.size(); }
    bool seek(qint64 pos) override {
        if (pos < 0 || !QIODevice::seek(pos)) return false;
        m_at = pos;
        return true;
    }

protected:
    qint64 readData(char *data, qint64 most) override {
        const qint64 n = m_file.read(m_at, data, most);
        if (n > 0) m_at += n;
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    SizedReader m_file;
    qint64 m_at = 0;
};

// The same for the other library.
class SizedSource : public InputSource {
public:
    SizedSource(int fd, qint64 size) : m_file(fd, size) {}
    qpdf_offset_t findAndSkipNextEOL() override {
        char buf[4096];
        for (;;) {
            const qpdf_offset_t start = m_at;
            const size_t n = read(buf, sizeof buf);
            if (n == 0) return m_at;
            const char *cr = static_cast<const char *>(std::memchr(buf, '\r', n));
            const char *lf = static_cast<const char *>(std::memchr(buf, '\n', n));
            const char *eol = cr && lf ? std::min(cr, lf) : cr ? cr : lf;
            if (!eol) continue;
            const qpdf_offset_t found = start + (eol - buf);
            m_at = found;
            char c = 0;
            while (read(&c, 1) == 1 && (c == '\r' || c == '\n')) {
            }
            if (c != '\r' && c != '\n') unreadCh(c);
            return found;
        }
    }
    std::string const &getName() const override { return m_name; }
    qpdf_offset_t tell() override { return m_at; }
    void seek(qpdf_offset_t offset, int whence) override {
        const qpdf_offset_t base = whence == SEEK_END ? m_file.size() : whence == SEEK_CUR ? m_at : 0;
        if (base + offset < 0) throw std::runtime_error("seek before the start");
        m_at = base + offset;
    }
    void rewind() override { m_at = 0; }
    size_t read(char *buffer, size_t length) override {
        last_offset = m_at;
        const qint64 n = m_file.read(m_at, buffer, qint64(std::min<size_t>(length, INT64_MAX)));
        if (n < 0) throw std::runtime_error("read failed");
        m_at += n;
        return size_t(n);
    }
    void unreadCh(char) override {
        if (m_at > 0) --m_at;
    }

private:
    SizedReader m_file;
    qpdf_offset_t m_at = 0;
    const std::string m_name = "pdf";
};

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

std::optional<qint64> pageCount(QPDF &pdf) {
    try {
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

// The other library, or nothing where it can't read the file.
std::unique_ptr<QPDF> openQpdf(int fd, qint64 size) {
    try {
        auto pdf = std::make_unique<QPDF>();
        pdf->setSuppressWarnings(true);
        // Rebuilding a broken cross-reference table reads the whole file: only for small ones.
        pdf->setAttemptRecovery(size <= 64 * 1024 * 1024);
        pdf->processInputSource(std::make_shared<SizedSource>(fd, size));
        return pdf;
    } catch (...) {
        return nullptr;
    }
}

// A text of the document's information marked as UTF-8 (as PDF 2.0 allows, beside PDFDocEncoding and
// UTF-16): the first library takes it for PDFDocEncoding.
std::optional<QString> markedUtf8(QPDF *pdf, const char *key) {
    if (!pdf) return std::nullopt;
    try {
        QPDFObjectHandle info = pdf->getTrailer().getKey("/Info");
        if (!info.isDictionary()) return std::nullopt;
        QPDFObjectHandle value = info.getKey(key);
        if (!value.isString()) return std::nullopt;
        const std::string bytes = value.getStringValue();
        if (bytes.size() < 3 || bytes.compare(0, 3, "\xEF\xBB\xBF") != 0) return std::nullopt;
        return QString::fromUtf8(bytes.data() + 3, qsizetype(bytes.size() - 3));
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
    struct stat st {};
    if (::fstat(fd, &st) != 0) return;
    SizedFile file(fd, qint64(st.st_size));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return;
    const std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(&file);
    if (!doc) return;
    const bool locked = doc->isLocked();
    const std::unique_ptr<QPDF> pdf = locked ? nullptr : openQpdf(fd, qint64(st.st_size));
    if (!locked) {
        const QString title = markedUtf8(pdf.get(), "/Title").value_or(doc->title()).trimmed();
        if (!title.isEmpty()) rows.set(Rows::title, title);
        const QString author = markedUtf8(pdf.get(), "/Author").value_or(doc->author()).trimmed();
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
        if (const auto pages = pdf ? pageCount(*pdf) : std::nullopt)
            rows.set(Rows::pages, QString::number(*pages));
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
