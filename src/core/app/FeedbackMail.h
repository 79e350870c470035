#pragma once

#include "core/app/AppState.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <array>
#include <functional>
#include <optional>

// The kinds of feedback in the sheet's order: a German title shown through L, and an English tag that goes
// into the subject unchanged in every language.
namespace FeedbackKinds {
inline constexpr std::array<FeedbackKind, 4> allCases{FeedbackKind::bug, FeedbackKind::idea,
                                                      FeedbackKind::question, FeedbackKind::other};
int rawValue(FeedbackKind kind);
std::optional<FeedbackKind> fromRaw(int raw);
// The German key of the kind's title.
const char *title(FeedbackKind kind);
QString tag(FeedbackKind kind);
} // namespace FeedbackKinds

// The feedback mail draft: the program never sends anything itself, it hands this draft to the user's
// mail program or puts it on the clipboard.
namespace FeedbackMail {

struct Options {
    bool appVersion = true;
    bool system = true;
    bool model = true;
    bool language = true;
};

inline const QString address = QStringLiteral("feedback@kestrin-app.org");
// Mail programs and the desktop's URL handoff cut or refuse much longer links; such a draft is copied.
inline constexpr qsizetype maxUrlBytes = 8000;

// What the technical lines read; tests point them at files of their own.
struct Sources {
    QString osRelease = QStringLiteral("/etc/os-release");
    QString dmiFolder = QStringLiteral("/sys/class/dmi/id");
};
void setSources(const Sources &sources);

QString architecture();
// The build this program was made from: the commit (or the day) it was built from.
QString build();
// The distribution's name and version from os-release, or "Linux".
QString osVersion();
// Maker and product name of the machine, or "unknown" where the firmware tables can't be read.
QString machineModel();

// The facts of the technical lines that come from system files. They are read on a worker: a file there
// may be anything (a FIFO, a huge file) and must never hold up the window.
struct Facts {
    QString osVersion;
    QString machineModel;
};
// Reads them now, bounded and without waiting on a FIFO or device; for a worker.
Facts readFacts();
// What the technical lines show from now on (main thread); until facts are set they show "…".
void setFacts(const Facts &facts);
// Reads the facts on a worker and sets them; done runs afterwards on owner's thread, unless owner is gone.
void loadFacts(QObject *owner, std::function<void()> done);

QString subject(FeedbackKind kind);
// The lines of the facts chosen; system and machine as last set (setFacts).
QStringList technicalLines(const Options &options);
QString body(const QString &message, const Options &options);
// The mailto: link of the draft: every character outside the unreserved set percent-encoded, line ends
// as CR LF. Nothing when it doesn't parse.
std::optional<QUrl> url(const QString &subject, const QString &body);

} // namespace FeedbackMail
