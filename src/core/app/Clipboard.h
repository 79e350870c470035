#pragma once

#include <QObject>
#include <QSet>
#include <QStringList>
#include <optional>

class JobRunner;
class Sides;
class Toasts;
class Transfers;
struct Pasteboard;

// Copy, cut and paste of files through the desktop clipboard, and the paths it holds as text. A cut is
// remembered here (its items are drawn faded) until a paste moves them or anything else takes the
// clipboard. Main thread only.
class Clipboard : public QObject {
    Q_OBJECT
public:
    Clipboard(Sides &sides, Transfers &transfers, JobRunner &jobs, Toasts &toasts,
              const Pasteboard &pasteboard, QObject *parent = nullptr);

    const QSet<QString> &cutPaths() const { return m_cutPaths; }
    std::optional<qint64> cutChangeCount() const { return m_cutChangeCount; }
    // Whether these items are the cut that the clipboard still holds.
    bool cutInForce(const QStringList &paths) const;

    void copy(const QStringList &paths);
    void cut(const QStringList &paths);
    // The clipboard's files into the folder: moved when they are our cut in force or the clipboard marks
    // them as cut, copied otherwise.
    void paste(const QString &folder);
    // Whether the clipboard holds files to paste (read now, so it answers for other programs' copies too).
    bool holdsFiles() const;
    // The paths as text, one a line.
    void copyPath(const QStringList &paths);

signals:
    void cutPathsChanged();

private:
    void setCutPaths(const QSet<QString> &value);
    void clearCut();

    Sides &m_sides;
    Transfers &m_transfers;
    JobRunner &m_jobs;
    Toasts &m_toasts;
    const Pasteboard &m_pasteboard;
    QSet<QString> m_cutPaths;
    std::optional<qint64> m_cutChangeCount;
};
