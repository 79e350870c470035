#pragma once

// A stand-in for the application core: records what the file actions ask of it.

#include "common/ScriptedDialogs.h"
#include "common/TestUtil.h"
#include "core/fileops/FileActionContext.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <sys/stat.h>

struct Toast {
    QString text;
    bool error = false;
    ToastKind kind = ToastKind::success;
};

class Harness : public ::testing::Test, protected ScriptedDialogs {
protected:
    // The job channel the actions run on: it records titles and ends, refuses or cancels on request.
    struct Jobs : JobChannel {
        Harness &h;
        explicit Jobs(Harness &harness) : h(harness) {}
        std::shared_ptr<TransferProgress> open(const QString &title) override {
            h.jobTitles << title;
            if (h.refuseJob || h.job) return nullptr;
            h.job = std::make_shared<TransferProgress>();
            if (h.cancelOnBegin) h.job->cancel();
            return h.job;
        }
        void close(const TransferProgress *) override { ++h.jobsEnded, h.job.reset(); }
        void waiting(bool) override {}
        QObject *home() override { return &h.owner; }
    };

    QObject owner;
    QList<Toast> toasts;
    int refreshes = 0, jobsEnded = 0;
    QStringList selected, jobTitles;
    QList<UndoEntry> records;
    std::shared_ptr<TransferProgress> job;
    bool refuseJob = false, cancelOnBegin = false;
    QTemporaryDir dir{TestUtil::testHome() + "/t-XXXXXX"};
    QString d = dir.path();
    TestUtil::LanguageScope de{AppLanguage::de};
    Jobs jobs{*this};

    FileActionContext ctx(int tickMs = 1000) {
        FileActionContext c;
        c.show = [this](const QString &t, ToastKind k) { toasts << Toast{t, k == ToastKind::error, k}; };
        c.refreshAll = [this] { ++refreshes; };
        c.jobs = &jobs;
        c.record = [this](const UndoTitle &title, const UndoAction &a) {
            records << UndoEntry{title(), a, title};
        };
        c.select = [this](const QStringList &p) { selected = p; };
        c.chooseFolder = [d = dialogs()](const FolderQuestion &q, Dialogs::TextDone done) {
            d.folder(q, std::move(done));
        };
        c.owner = &owner;
        c.tickMs = tickMs;
        return c;
    }

    // Starts an action and runs the event loop until it has shown its toast.
    template <typename Action> Toast wait(Action action, int ms = 60000) {
        toasts.clear();
        action(ctx());
        QDeadlineTimer deadline(ms);
        while (toasts.isEmpty() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20), QThread::msleep(2);
        EXPECT_FALSE(toasts.isEmpty()) << "no toast";
        return toasts.value(toasts.size() - 1);
    }
};

using TestUtil::exists;
using TestUtil::names;

inline QString mkdir(const QString &path) {
    QDir().mkpath(path);
    return path;
}
