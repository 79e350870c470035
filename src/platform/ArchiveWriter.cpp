#include "platform/ArchiveWriter.h"

#include "platform/Posix.h"

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <memory>
#include <vector>

#include <locale.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// Extended attributes a tar keeps (what the system keeps as ACLs stays out), read from the descriptor.
void addXattrs(archive_entry *entry, int fd) {
    const ssize_t size = ::flistxattr(fd, nullptr, 0);
    if (size <= 0 || size > 64 * 1024) return;
    std::vector<char> names(size_t(size) + 1, '\0');
    const ssize_t got = ::flistxattr(fd, names.data(), size_t(size));
    for (ssize_t at = 0; got > 0 && at < got;) {
        const char *name = names.data() + at;
        at += ssize_t(std::strlen(name)) + 1;
        if (std::strncmp(name, "system.", 7) == 0) continue;
        const ssize_t n = ::fgetxattr(fd, name, nullptr, 0);
        if (n < 0 || n > 64 * 1024) continue;
        std::vector<char> value(size_t(n) + 1);
        const ssize_t v = ::fgetxattr(fd, name, value.data(), size_t(n));
        if (v >= 0) archive_entry_xattr_add_entry(entry, name, value.data(), size_t(v));
    }
}

} // namespace

ArchiveWriter::ArchiveWriter(int fd, const Setup &setup) {
    // Names are bytes on disk and UTF-8 in the archive, as the tools write them under C.UTF-8: libarchive
    // converts from the thread's locale, so for this thread (until the end of the archive) that is C.UTF-8.
    if (locale_t own = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr))) {
        m_locale = own;
        m_oldLocale = ::uselocale(own);
    }
    m_archive = archive_write_new();
    archive *disk = archive_read_disk_new();
    m_disk = disk;
    if (disk) archive_read_disk_set_standard_lookup(disk);
    m_xattrs = setup.format.startsWith("pax");
    if (!m_archive || archive_write_set_format_by_name(m_archive, setup.format.constData()) != ARCHIVE_OK ||
        (!setup.filter.isEmpty() &&
         archive_write_add_filter_by_name(m_archive, setup.filter.constData()) != ARCHIVE_OK) ||
        (!setup.options.isEmpty() &&
         archive_write_set_options(m_archive, setup.options.constData()) != ARCHIVE_OK) ||
        archive_write_open_fd(m_archive, fd) != ARCHIVE_OK)
        fail();
}

ArchiveWriter::~ArchiveWriter() {
    if (m_archive) archive_write_free(m_archive);
    if (m_disk) archive_read_free(static_cast<archive *>(m_disk));
    if (m_locale) {
        ::uselocale(static_cast<locale_t>(m_oldLocale));
        ::freelocale(static_cast<locale_t>(m_locale));
    }
}

bool ArchiveWriter::fail(int code) {
    if (m_error) return false;
    m_errno = code ? code : m_archive ? archive_errno(m_archive) : ENOMEM;
    const char *text = m_archive ? archive_error_string(m_archive) : nullptr;
    m_error = text ? QString::fromUtf8(text) : QString::fromLocal8Bit(std::strerror(m_errno ? m_errno : EIO));
    return false;
}

bool ArchiveWriter::add(const QByteArray &relative, const struct stat &st, int fd,
                        const QByteArray &linkTarget, const std::function<bool()> &cancelled) {
    if (m_error) return false;
    std::unique_ptr<archive_entry, void (*)(archive_entry *)> entry(archive_entry_new(), archive_entry_free);
    if (!entry) return fail(ENOMEM);
    archive_entry_copy_pathname(entry.get(), relative.constData());
    archive_entry_copy_stat(entry.get(), &st);
    if (auto *disk = static_cast<archive *>(m_disk)) {
        if (const char *u = archive_read_disk_uname(disk, la_int64_t(st.st_uid)))
            archive_entry_copy_uname(entry.get(), u);
        if (const char *g = archive_read_disk_gname(disk, la_int64_t(st.st_gid)))
            archive_entry_copy_gname(entry.get(), g);
    }
    const bool file = S_ISREG(st.st_mode);
    if (S_ISLNK(st.st_mode)) archive_entry_copy_symlink(entry.get(), linkTarget.constData());
    if (!file) archive_entry_set_size(entry.get(), 0);
    if (m_xattrs && fd >= 0) addXattrs(entry.get(), fd);
    const int written = archive_write_header(m_archive, entry.get());
    if (written == ARCHIVE_FATAL || written == ARCHIVE_FAILED) return fail();
    if (!file || fd < 0) return true;
    // Exactly the size that was given: a file that grows meanwhile is cut there, one that shrinks is
    // filled with zeros, as the header says.
    constexpr qsizetype piece = 64 * 1024;
    std::vector<char> buffer(piece);
    qint64 left = st.st_size, offset = 0;
    while (left > 0) {
        if (cancelled && cancelled()) return false;
        const size_t want = size_t(std::min<qint64>(left, piece));
        ssize_t n = Posix::retry([&] { return ::pread(fd, buffer.data(), want, offset); });
        if (n < 0) return fail(errno);
        if (n == 0) {
            std::memset(buffer.data(), 0, want);
            n = ssize_t(want);
        }
        if (archive_write_data(m_archive, buffer.data(), size_t(n)) < 0) return fail();
        left -= n;
        offset += n;
    }
    return true;
}

void ArchiveWriter::abandon() {
    if (m_archive) archive_write_fail(m_archive);
}

bool ArchiveWriter::finish() {
    if (m_error) return false;
    if (archive_write_close(m_archive) != ARCHIVE_OK) return fail();
    return true;
}
