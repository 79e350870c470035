#pragma once

// A stand-in for the application core: records what the file actions ask of it.

#include "common/TestUtil.h"
#include "core/fileops/FileActionContext.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>

struct Toast {
    QString text;
    bool error = false;
};

class Harness {
public:
    QObject owner;
    QList<Toast> toasts;
    int refreshes = 0;
    QStringList selected;
    QList<UndoEntry> records;
    QStringList jobTitles;
    int jobsEnded = 0;
    std::shared_ptr<TransferProgress> job;
    bool refuseJob = false;
    bool cancelOnBegin = false;
    QList<FolderQuestion> questions;
    std::optional<QString> folderAnswer;
    int tickMs = 1000;

    FileActionContext ctx() {
        FileActionContext c;
        c.show = [this](const QString &t, bool e) { toasts << Toast{t, e}; };
        c.refreshAll = [this] { ++refreshes; };
        c.beginJob = [this](const QString &title) -> std::shared_ptr<TransferProgress> {
            jobTitles << title;
            if (refuseJob || job) return nullptr;
            job = std::make_shared<TransferProgress>();
            if (cancelOnBegin) job->cancel();
            return job;
        };
        c.endJob = [this] {
            ++jobsEnded;
            job.reset();
        };
        c.record = [this](const QString &title, const UndoAction &a) { records << UndoEntry{title, a}; };
        c.select = [this](const QStringList &p) { selected = p; };
        c.chooseFolder = [this](const FolderQuestion &q) {
            questions << q;
            return folderAnswer;
        };
        c.owner = &owner;
        c.tickMs = tickMs;
        return c;
    }

    // Runs the event loop until the action has shown its toast.
    bool waitForToast(int ms = 60000) {
        QDeadlineTimer deadline(ms);
        while (toasts.isEmpty() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(2);
        }
        return !toasts.isEmpty();
    }
    Toast last() const { return toasts.isEmpty() ? Toast{} : toasts.last(); }
};

namespace UndoTest {

inline bool exists(const QString &path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

inline QString mkdir(const QString &path) {
    QDir().mkpath(path);
    return path;
}

// Every entry below a folder, relative, sorted.
inline QStringList tree(const QString &folder) {
    QStringList out;
    QDir dir(folder);
    const auto list =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &fi : list) {
        out << fi.fileName();
        if (fi.isDir() && !fi.isSymLink())
            for (const QString &sub : tree(fi.filePath()))
                out << fi.fileName() + u'/' + sub;
    }
    return out;
}

} // namespace UndoTest
