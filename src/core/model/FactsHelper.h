#pragma once

#include "core/model/FullDetails.h"
#include "platform/Confined.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The content facts of a file (image size and colour space, media duration and codecs, document version
// and security …) come from our helper program kestrin-facts, run in its own process under a time and
// memory limit: the libraries that read these formats must not take the window down with a hostile file.
namespace FactsHelper {

inline constexpr int kTimeoutMs = 2000;
inline constexpr qint64 kMemoryBytes = 256LL * 1024 * 1024;
inline constexpr qint64 kMaxAnswer = 64 * 1024;

// The helper beside the running program, unless set otherwise (tests).
QString program();
void setProgram(const QString &path);

// The rows of the helper's answer ("label<TAB>value" lines) in display form: only known labels, each at
// most once and in their fixed order, every value checked; anything else in the answer is dropped.
QList<FullDetails::Extra> parse(const QByteArray &answer);

// Seconds as minutes and seconds, "%d:%02d" (no hours: 3725 s → "62:05"), rounded half away from zero;
// nothing for a value that is not finite or negative or absurdly large.
std::optional<QString> duration(double seconds);

// Runs the helper on path and reads its answer; no rows when it fails, hangs or says too much.
QList<FullDetails::Extra> read(const QString &path);
// Tests: the time limit of read (0: kTimeoutMs).
void setTimeoutMs(int ms);

// A file that used up a whole time limit is not given to the helper again, for the same work within the
// same limit or a shorter one, until it changes: it would only burn that time once more. Remembered per
// file (device, inode) and version (size, modification and change time); forgotten when the helper is set.
enum class Work { facts, pages };
struct FileVersion {
    QByteArray key; // empty: the file could not be looked at
};
// Of what path leads to.
FileVersion versionOf(const QString &path);
bool ranOutBefore(const FileVersion &version, Work work, int limitMs);
void noteRanOut(const FileVersion &version, Work work, int limitMs);

// Runs the helper with `arguments`, then "--" and the file (what a link leads to: the helper opens no
// link), under `limits`. Nothing without the helper, or where the file used up as long a limit for `work`
// before; `version` gets the file's version as taken before the run, for noteRanOut.
std::optional<Confined::Outcome> runOn(const QString &path, const QStringList &arguments, Work work,
                                       const Confined::Limits &limits, FileVersion &version,
                                       const Confined::Cancelled &cancelled = {});

} // namespace FactsHelper
