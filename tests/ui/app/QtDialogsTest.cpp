#include "common/TestUtil.h"
#include "core/localisation/Lang.h"
#include "ui/app/AppChooser.h"
#include "ui/app/ChooserLook.h"
#include "ui/app/FilesPanel.h"
#include "ui/app/QtDialogs.h"
#include "ui/style/AppStyle.h"
#include "ui/style/AppTheme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <unistd.h>
#include <gtest/gtest.h>

// The alert opens and ask() returns at once; the answer comes when a button is pressed, by its role.
TEST(QtAlert, AsksWithoutWaitingAndAnswersByRole) {
    Dialogs dialogs = makeQtDialogs([] { return nullptr; });
    Alert alert;
    alert.message = "„a & b“ gibt es schon.";
    alert.buttons = {{"Beide behalten", AlertRole::keepBoth},
                     {"Ersetzen", AlertRole::replace},
                     {"Abbrechen", AlertRole::cancel}};
    alert.checkBox = "Für alle";
    std::optional<AlertAnswer> answer;
    // A loop of its own inside ask() would run this timer there: it closes the box so the test ends.
    bool loopInside = false;
    QObject scope; // the timer goes with the test, never to close a later test's window
    QTimer::singleShot(0, &scope, [&] {
        if (QWidget *open = QApplication::activeModalWidget()) loopInside = true, open->close();
    });
    dialogs.ask(alert, [&](AlertAnswer a) { answer = a; });
    EXPECT_FALSE(loopInside);
    EXPECT_FALSE(answer);
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    ASSERT_TRUE(box);
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    box->checkBox()->setChecked(true);
    for (QAbstractButton *b : box->buttons())
        if (b->text() == "Ersetzen") b->click();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->role, AlertRole::replace);
    EXPECT_TRUE(answer->checked);

    // Escape is the cancelling button, wherever it stands.
    answer.reset();
    dialogs.ask(alert, [&](AlertAnswer a) { answer = a; });
    QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
    QTRY_VERIFY(answer);
    EXPECT_EQ(answer->role, AlertRole::cancel);
}

// Every question opens without waiting and answers when it closes.
TEST(QtDialogs, TextQuestionGivesTheTypedTextOnlyWhenConfirmed) {
    Dialogs dialogs = makeQtDialogs(nullptr);
    TextQuestion q;
    q.message = "Umbenennen";
    q.text = "old.txt";
    q.buttons = {"Umbenennen", "Abbrechen"};
    for (const bool confirm : {true, false}) {
        std::optional<std::optional<QString>> answer;
        dialogs.text(q, [&](std::optional<QString> a) { answer = a; });
        EXPECT_FALSE(answer);
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        auto *field = dialog->findChild<QLineEdit *>();
        EXPECT_EQ(field->text(), "old.txt");
        EXPECT_EQ(field->selectedText(), confirm ? "old.txt" : "old");
        field->setText("new.txt");
        for (QPushButton *b : dialog->findChildren<QPushButton *>())
            if (b->text() == (confirm ? "Umbenennen" : "Abbrechen")) b->click();
        ASSERT_TRUE(answer);
        EXPECT_EQ(*answer, confirm ? std::optional<QString>("new.txt") : std::nullopt);
        q.selected = 3; // the next one selects the name without its extension
    }

    // A gated alert: the update reaches the open box and enables its button.
    Alert alert;
    alert.message = "Papierkorb leeren?";
    alert.buttons = {{"Abbrechen", AlertRole::cancel}, {"Papierkorb leeren", AlertRole::destructive}};
    alert.disabled = AlertRole::destructive;
    std::function<void(const QString &, bool)> update;
    alert.onShown = [&](std::function<void(const QString &, bool)> u) { update = std::move(u); };
    AlertRole role = AlertRole::closed;
    dialogs.ask(alert, [&](AlertAnswer a) { role = a.role; });
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    ASSERT_TRUE(box && update);
    QPushButton *red = nullptr;
    for (QPushButton *b : box->findChildren<QPushButton *>())
        if (b->text() == "Papierkorb leeren") red = b;
    ASSERT_TRUE(red);
    EXPECT_FALSE(red->isEnabled());
    update("3 Objekte", true);
    EXPECT_EQ(box->informativeText(), "3 Objekte");
    red->click();
    EXPECT_EQ(role, AlertRole::destructive);
    update("later", false); // the box is gone: nothing happens
}

// The folder question shows its question inside the dialog, not only as the caption.
TEST(QtDialogs, FolderQuestionShowsItsQuestionInside) {
    Dialogs dialogs = makeQtDialogs(nullptr);
    const FolderQuestion q{"In welchen Ordner sollen die Objekte zurück?", "Hierher zurücklegen"};
    std::optional<std::optional<QString>> answer;
    dialogs.folder(q, [&](std::optional<QString> a) { answer = a; });
    auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
    ASSERT_TRUE(dialog);
    dialog->show();
    QLabel *question = nullptr;
    for (QLabel *label : dialog->findChildren<QLabel *>())
        if (label->text() == q.message) question = label;
    ASSERT_TRUE(question);
    EXPECT_TRUE(question->isVisible());
    EXPECT_GE(dialog->layout()->indexOf(question), 0); // placed by the layout, not lying at 0,0
    bool prompt = false;
    for (QPushButton *b : dialog->findChildren<QPushButton *>())
        prompt |= b->text() == q.prompt;
    EXPECT_TRUE(prompt);
    dialog->reject();
    ASSERT_TRUE(answer);
    EXPECT_FALSE(*answer);
}

// A menu taller than the screen stays one column that scrolls, within the screen: in columns its right
// side ran off a small one.
TEST(QtAlert, AMenuTallerThanTheScreenScrollsWithinIt) {
    AppStyle::install();
    struct Menu : QMenu {
        using QMenu::columnCount;
    } menu;
    const QRect screen = QApplication::primaryScreen()->availableGeometry();
    for (int i = 0; menu.sizeHint().height() < 2 * screen.height() && i < 500; ++i)
        menu.addAction(QStringLiteral("Eintrag %1 mit einem längeren Namen").arg(i));
    menu.popup(screen.topLeft());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    EXPECT_EQ(menu.columnCount(), 1);
    EXPECT_LE(menu.geometry().right(), screen.right());
    EXPECT_LE(menu.height(), screen.height());
    menu.close();
}

// On a dark window the check box of a question ("for all") keeps a visible frame: as the application's
// style draws it, some of its edge stands 3:1 apart from the dialog around it.
TEST(QtAlert, CheckBoxFrameVisibleInDark) {
    AppStyle::install();
    const QPalette old = QApplication::palette();
    QPalette dark = old;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2e));
    dark.setColor(QPalette::WindowText, QColor(0xe8, 0xe8, 0xea));
    dark.setColor(QPalette::Base, QColor(0x1f, 0x1f, 0x22));
    dark.setColor(QPalette::Text, QColor(0xe8, 0xe8, 0xea));
    QApplication::setPalette(dark);
    Dialogs dialogs = makeQtDialogs([] { return nullptr; });
    Alert alert;
    alert.message = "„a“ gibt es schon.";
    alert.buttons = {{"Ersetzen", AlertRole::replace}, {"Abbrechen", AlertRole::cancel}};
    alert.checkBox = "Für alle";
    dialogs.ask(alert, [](AlertAnswer) {});
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    ASSERT_TRUE(box);
    QCheckBox *check = box->checkBox();
    QStyleOptionButton opt;
    opt.initFrom(check);
    const QRect indicator = check->style()
                                ->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, check)
                                .translated(check->mapTo(box, QPoint()));
    const QImage shot = box->grab().toImage();
    const QColor behind = box->palette().color(QPalette::Window);
    double edge = 1;
    for (int y = indicator.top(); y <= indicator.bottom(); ++y)
        for (int x = indicator.left(); x <= indicator.right(); ++x)
            edge = std::max(edge, AppTheme::contrast(shot.pixelColor(x, y), behind));
    EXPECT_GE(edge, 3.0) << "on " << qPrintable(behind.name());
    EXPECT_EQ(check->palette().color(QPalette::WindowText), dark.color(QPalette::WindowText));
    box->close();
    QApplication::setPalette(old);
}

// The save chooser offers the given name with its question inside; accepting answers the chosen path.
TEST(QtDialogs, FileQuestionOffersItsNameAndAnswersThePath) {
    QTemporaryDir dir;
    Dialogs dialogs = makeQtDialogs(nullptr);
    FileQuestion q;
    q.save = true;
    q.title = "Einstellungen sichern";
    q.message = "Wähle einen sicheren Ort.";
    q.prompt = "Sichern";
    q.fileName = "Kestrin-Sicherung-2025-03-14.plist";
    q.nameFilters = {"*.plist"};
    std::optional<std::optional<QString>> answer;
    dialogs.file(q, [&](std::optional<QString> a) { answer = a; });
    auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    bool question = false;
    for (QLabel *label : dialog->findChildren<QLabel *>())
        question |= label->text() == q.message && dialog->layout()->indexOf(label) >= 0;
    EXPECT_TRUE(question);
    dialog->setDirectory(dir.path());
    dialog->selectFile(q.fileName);
    static_cast<QDialog *>(dialog)->accept();
    ASSERT_TRUE(answer && *answer);
    EXPECT_EQ(**answer, dir.filePath(q.fileName));
}

// A question takes the text size of the window it stands on, every control of it: the largest text size
// of the settings is 18 points.
TEST(QtAlert, TakesTheTextSizeOfItsWindow) {
    QWidget window;
    QFont big = window.font();
    big.setPixelSize(18);
    window.setFont(big);
    window.show();
    Dialogs dialogs = makeQtDialogs([&window] { return &window; });
    Alert alert;
    alert.message = "„a“ gibt es im Zielordner schon.";
    alert.informative = "Vorhanden: 3 B";
    alert.buttons = {{"Beide behalten", AlertRole::keepBoth},
                     {"In den Papierkorb", AlertRole::destructive},
                     {"Abbrechen", AlertRole::cancel}};
    alert.checkBox = "Für alle weiteren Konflikte übernehmen";
    std::optional<AlertAnswer> answer;
    dialogs.ask(alert, [&](AlertAnswer a) { answer = a; });
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    ASSERT_TRUE(box);
    int controls = 0;
    for (QWidget *w : box->findChildren<QWidget *>())
        if (qobject_cast<QAbstractButton *>(w) || qobject_cast<QLabel *>(w)) {
            ++controls;
            EXPECT_EQ(QFontInfo(w->font()).pixelSize(), 18) << w->metaObject()->className();
        }
    EXPECT_GE(controls, 6);
    box->reject();
    QTRY_VERIFY(answer);
}

// Every chooser opens where it was asked to, else at home: never where the program was started from,
// which is the root for a program the desktop starts, nor at the root when the folder asked for is gone.
TEST(QtDialogs, ChoosersStartAtHomeOrTheFolderAsked) {
    QTemporaryDir dir;
    const QString home = QDir::homePath(), here = QDir::currentPath();
    ASSERT_EQ(::chdir("/"), 0);
    const auto back = qScopeGuard([&here] { (void)::chdir(here.toLocal8Bit().constData()); });
    EXPECT_EQ(ChooserLook::startFolder(""), home);
    EXPECT_EQ(ChooserLook::startFolder(dir.path() + "/weg/tiefer"), dir.path());
    EXPECT_EQ(ChooserLook::startFolder(dir.path() + "/./"), dir.path());
    EXPECT_EQ(ChooserLook::startFolder("/gibt-es-nicht"), home);
    EXPECT_EQ(ChooserLook::startFolder("/"), "/");
    EXPECT_EQ(ChooserLook::startFolder("relativ"), home);

    Dialogs dialogs = makeQtDialogs(nullptr);
    const auto shownAt = [](const char *what) {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog) return QStringLiteral("no chooser for ") + what;
        const QString at = dialog->directory().absolutePath();
        dialog->reject();
        return at;
    };
    FileQuestion save;
    save.save = true;
    save.fileName = "Kestrin-Sicherung.plist";
    dialogs.file(save, [](auto) {});
    EXPECT_EQ(shownAt("saving"), home);
    dialogs.file(FileQuestion{}, [](auto) {});
    EXPECT_EQ(shownAt("opening"), home);
    dialogs.folder(FolderQuestion{"?", "OK"}, [](auto) {});
    EXPECT_EQ(shownAt("a folder"), home);
    dialogs.folder(FolderQuestion{"?", "OK", dir.path() + "/weg"}, [](auto) {});
    EXPECT_EQ(shownAt("a folder gone"), dir.path());
    FilesQuestion files;
    dialogs.files(files, [](auto) {});
    EXPECT_EQ(shownAt("files"), home);
    chooseApplications(nullptr, "?", dir.path(), false, [](auto) {});
    EXPECT_EQ(shownAt("an application"), dir.path());
}

// In Thai, which Qt has no words of its own for, every chooser speaks the language, and each of its columns
// shows its title and what is in it whole.
TEST(QtDialogs, ChoosersSpeakThaiWithColumnsWhole) {
    TestUtil::LanguageScope thai(AppLanguage::th);
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("โฟลเดอร์ภาพถ่าย");
    TestUtil::writeFile(dir.path() + "/การตั้งค่าของฉัน.plist", QByteArray(123456, 'x'));
    Dialogs dialogs = makeQtDialogs(nullptr);
    const QStringList english{"Cancel",      "&Cancel",        "Look in:",     "File name:",
                              "File &name:", "Files of type:", "Directory:",   "Name",
                              "Size",        "Type",           "Date Modified"};
    const auto check = [&](const char *what, const QString &fileName, int rows) {
        SCOPED_TRACE(what);
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        auto *model = dialog->findChild<QFileSystemModel *>();
        ASSERT_TRUE(model);
        dialog->setDirectory(dir.path());
        QTRY_VERIFY_WITH_TIMEOUT(model->rowCount(model->index(dir.path())) == rows, 5000);
        EXPECT_EQ(dialog->labelText(QFileDialog::LookIn), L("Suchen in:"));
        EXPECT_EQ(dialog->labelText(QFileDialog::FileName), fileName);
        EXPECT_EQ(dialog->labelText(QFileDialog::FileType), L("Dateityp:"));
        EXPECT_EQ(dialog->labelText(QFileDialog::Reject), L("Abbrechen"));
        for (const QWidget *part : dialog->findChildren<QWidget *>()) {
            const QString text = part->property("text").toString();
            EXPECT_FALSE(part->isVisible() && english.contains(text)) << qPrintable(text);
        }
        auto *tree = dialog->findChild<QTreeView *>("treeView");
        ASSERT_TRUE(tree && tree->isVisible());
        QHeaderView *header = tree->header();
        const auto whole = [&] {
            int columns = 0;
            for (int c = 0; c < header->count(); ++c) {
                if (header->isSectionHidden(c)) continue;
                if (header->sectionSize(c) <
                    std::max(header->sectionSizeHint(c),
                             static_cast<QAbstractItemView *>(tree)->sizeHintForColumn(c)))
                    return false;
                columns += header->sectionSize(c);
            }
            return columns <= tree->viewport()->width();
        };
        QTRY_VERIFY_WITH_TIMEOUT(whole(), 2000);
        for (int c = 0; c < header->count(); ++c) {
            if (!header->isSectionHidden(c)) {
                EXPECT_FALSE(english.contains(tree->model()->headerData(c, Qt::Horizontal).toString()));
            }
        }
        dialog->reject();
    };
    FileQuestion save;
    save.save = true;
    save.prompt = L("Sichern");
    save.fileName = "Kestrin.plist";
    save.nameFilters = {"*.plist"};
    dialogs.file(save, [](auto) {});
    check("saving", L("Dateiname:"), 2);
    dialogs.folder(FolderQuestion{"?", L("Wählen …")}, [](auto) {});
    check("a folder", L("Ordner:"), 1);
    dialogs.files(FilesQuestion{}, [](auto) {});
    check("files", L("Dateiname:"), 2);
}
