#pragma once

#include "common/TestUtil.h"
#include "core/base/Defaults.h"
#include "core/model/DragState.h"
#include "core/model/PaneModel.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace PaneTest {

// Waits on the event loop until pred holds; false after timeoutMs.
template <typename Pred> bool waitUntil(Pred pred, int timeoutMs = 5000) {
    return QTest::qWaitFor(pred, timeoutMs);
}

using TestUtil::fileItem;

// Hooks that record what a pane asks of the core.
struct RecordingHooks {
    PaneHooks hooks;
    QList<Side> activated;
    struct Transfer {
        QStringList paths;
        QString to;
        bool move;
    };
    QList<Transfer> transfers;
    QStringList opened;
    QStringList extracted;
    QStringList trashed;
    Qt::KeyboardModifiers held;

    RecordingHooks() {
        hooks.setActive = [this](Side s) { activated << s; };
        hooks.transfer = [this](const QStringList &p, const QString &to, bool move) {
            transfers << Transfer{p, to, move};
        };
        hooks.openFile = [this](const QString &p) { opened << p; };
        hooks.extract = [this](const QStringList &p) { extracted << p; };
        hooks.trash = [this](const QStringList &p) { trashed << p; };
        hooks.prefersExtraction = [](const QString &p) { return p.endsWith(QStringLiteral(".zip")); };
        hooks.modifiers = [this] { return held; };
    }
};

// Short debounces, the real file system, no stored settings, no recorded drag.
class PaneFixture : public ::testing::Test {
protected:
    void SetUp() override {
        PaneModel::setTimings({60, 40});
        PaneModel::setBackend({});
        // Tests hold one worker back on purpose; the others must still run on small machines.
        if (QThreadPool::globalInstance()->maxThreadCount() < 4)
            QThreadPool::globalInstance()->setMaxThreadCount(4);
        for (const char *prefix : {"view.", "sort.", "sortReversed."})
            for (const char *side : {"left", "right"})
                Defaults::remove(QString::fromLatin1(prefix) + QString::fromLatin1(side));
        DragState::shared().clear();
        ASSERT_TRUE(tmp.isValid());
        root = tmp.path();
    }
    void TearDown() override {
        PaneModel::setTimings({});
        PaneModel::setBackend({});
    }

    // A pane on path whose first listing has arrived.
    std::unique_ptr<PaneModel> openPane(const QString &path, Side side = Side::left) {
        auto pane = std::make_unique<PaneModel>(side, path);
        QSignalSpy listed(pane.get(), &PaneModel::listed);
        EXPECT_TRUE(listed.wait(5000)) << "no listing of " << path.toStdString();
        return pane;
    }
    static void touch(const QString &path, const QByteArray &bytes = {}) {
        ASSERT_TRUE(TestUtil::writeFile(path, bytes)) << path.toStdString();
    }
    QString mkdir(const QString &rel) {
        const QString p = root + u'/' + rel;
        QDir().mkpath(p);
        return p;
    }

    QTemporaryDir tmp{TestUtil::testHome() + QStringLiteral("/pane-XXXXXX")};
    QString root;
};

inline QStringList paths(const QList<FileItem> &items) {
    QStringList out;
    for (const FileItem &i : items)
        out << i.path();
    return out;
}

inline QStringList names(const QList<FileItem> &items) {
    QStringList out;
    for (const FileItem &i : items)
        out << i.name;
    return out;
}

} // namespace PaneTest
