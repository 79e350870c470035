#pragma once

// An application core with scripted questions, a fake clipboard and fake desktop programs, working in
// fresh folders below the private test home.

#include "common/HeldJob.h"
#include "common/ScriptedDialogs.h"
#include "common/StepHookScope.h"
#include "common/TestUtil.h"
#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/base/Defaults.h"
#include "core/model/PaneModel.h"
#include "core/model/TabGroup.h"
#include "platform/Sounds.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QUuid>
#include <gtest/gtest.h>

#include <deque>
#include <memory>

struct FakeClipboard {
    QStringList files;
    bool cut = false;
    QString text;
    bool hasFiles = false;
    qint64 changes = 0;

    Pasteboard hooks() {
        Pasteboard p;
        p.writeFiles = [this](const QStringList &paths, bool isCut) {
            files = paths;
            cut = isCut;
            hasFiles = true;
            text.clear();
            ++changes;
        };
        p.writeText = [this](const QString &t) {
            text = t;
            files.clear();
            hasFiles = false;
            ++changes;
        };
        p.readFiles = [this]() -> std::optional<PasteboardFiles> {
            if (!hasFiles) return std::nullopt;
            return PasteboardFiles{files, cut};
        };
        p.clearAll = [write = p.writeText] { write({}); };
        p.changeCount = [this] { return changes; };
        return p;
    }
};

class CommandTest : public ::testing::Test, protected ScriptedDialogs {
protected:
    HeldJob busy; // another job holding the runner
    QList<Toast> toasts;
    FakeClipboard clipboard;
    QStringList opened;
    QStringList revealed;
    QStringList unopenable; // files no application opens
    int sounds = 0;
    std::unique_ptr<AppState> app;
    QString root;

    void SetUp() override {
        TestUtil::freshSettings();
        root = TestUtil::testHome() + QStringLiteral("/cmd-") + QUuid::createUuid().toString(QUuid::Id128);
        QDir().mkpath(root);
        SystemSounds::setSwitchReader([] { return std::optional<bool>(true); });
        SystemSounds::setPlayer([this](const char *, std::uint32_t) {
            ++sounds;
            return true;
        });

        app = std::make_unique<AppState>(dialogs());
        app->services().pasteboard = clipboard.hooks();
        app->services().openFile = [this](const QString &path) {
            opened << path;
            return !unopenable.contains(path);
        };
        // No desktop file manager: the items are shown in the pane.
        app->services().desktop.showItems = [this](const QStringList &paths) -> std::optional<QString> {
            revealed << paths;
            return QStringLiteral("no file manager");
        };
        QObject::connect(&app->toasts(), &Toasts::toastChanged, [this] {
            if (app && app->toast()) toasts << *app->toast();
        });
    }

    void TearDown() override {
        endJobsAndHook();
        app.reset();
        SystemSounds::setPlayer({});
        SystemSounds::setSwitchReader({});
        QDir(root).removeRecursively();
    }

    // A job a timed-out wait left running ends here, not in the next test, and meets no hook of this one.
    static void endJobsAndHook() {
        if (!QThreadPool::globalInstance()->waitForDone(30000))
            ADD_FAILURE() << "a job still ran 30 s after its test";
        FileSteps::setStepHook({});
    }

    QString make(const QString &rel, const QByteArray &bytes = "x") {
        const QString path = root + u'/' + rel;
        if (rel.endsWith(u'/')) {
            QDir().mkpath(path);
            return path.chopped(1);
        }
        EXPECT_TRUE(TestUtil::writeFile(path, bytes));
        return path;
    }
    static bool exists(const QString &path) { return QFileInfo::exists(path) || QFileInfo(path).isSymLink(); }

    // Shows a folder in a pane and waits for its listing.
    static void show(PaneModel *pane, const QString &folder) {
        pane->go(folder, false, {});
        QTRY_VERIFY_WITH_TIMEOUT(
            pane->currentPath() == folder &&
                (!pane->items().isEmpty() || pane->errorText() || QDir(folder).isEmpty()),
            5000);
        QTest::qWait(20);
    }
    QString lastToast() const { return toasts.isEmpty() ? QString() : toasts.last().text; }
    bool lastIsError() const { return !toasts.isEmpty() && toasts.last().isError; }
    void waitToast(qsizetype count) { QTRY_VERIFY_WITH_TIMEOUT(toasts.size() >= count, 5000); }
};
