#include "ui/app/QtDialogs.h"
#include "ui/app/ChooserLook.h"
#include "ui/app/FilesPanel.h"

#include "core/localisation/Lang.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>

namespace {

// Plain text: an "&" in a file name is not a mnemonic.
QString buttonTitle(QString title) {
    title.replace(u'&', QStringLiteral("&&"));
    return title;
}

// Deleted once closed; it answers through `finished`, which fires after its own event handling.
template <typename W> void openWindowModal(W *window) {
    window->setAttribute(Qt::WA_DeleteOnClose);
    // The question takes the text size of the window it stands on.
    window->setAttribute(Qt::WA_WindowPropagation);
    window->setWindowModality(Qt::WindowModal);
    window->open();
}

void paintRed(QAbstractButton *red) {
    QPalette palette = red->palette();
    palette.setColor(QPalette::Button, QColor::fromRgbF(0.62f, 0.09f, 0.09f));
    palette.setColor(QPalette::ButtonText, Qt::white);
    red->setPalette(palette);
    red->setAutoFillBackground(true);
    red->setStyleSheet(QStringLiteral("QPushButton { background-color: rgb(158, 23, 23); color: white; "
                                      "border-radius: 4px; padding: 4px 12px; }"
                                      "QPushButton:disabled { background-color: rgba(158, 23, 23, 0.45); "
                                      "color: rgba(255, 255, 255, 0.7); }"));
}

void openAlert(QWidget *parent, const Alert &a, Dialogs::AlertDone done) {
    auto *box = new QMessageBox(parent);
    // Before the buttons: one with a style sheet of its own takes the size only as it is made.
    box->setAttribute(Qt::WA_WindowPropagation);
    box->setIcon(a.style == Alert::Style::critical  ? QMessageBox::Critical
                 : a.style == Alert::Style::warning ? QMessageBox::Warning
                                                    : QMessageBox::Information);
    box->setTextFormat(Qt::PlainText);
    box->setText(a.message);
    box->setInformativeText(a.informative);
    QHash<QAbstractButton *, AlertRole> roles;
    QPointer<QAbstractButton> gated;
    for (qsizetype i = 0; i < a.buttons.size(); ++i) {
        const AlertButton &b = a.buttons[i];
        QAbstractButton *button =
            box->addButton(buttonTitle(b.title), i == 0 ? QMessageBox::AcceptRole : QMessageBox::ActionRole);
        roles.insert(button, b.role);
        if (i == 0) box->setDefaultButton(qobject_cast<QPushButton *>(button));
        if (b.role == AlertRole::cancel) box->setEscapeButton(button);
        if (b.role == AlertRole::destructive) paintRed(button);
        if (a.disabled != AlertRole::closed && b.role == a.disabled) {
            gated = button;
            button->setEnabled(false);
        }
    }
    QPointer<QCheckBox> check;
    if (!a.checkBox.isEmpty()) {
        check = new QCheckBox(a.checkBox, box);
        box->setCheckBox(check);
    }
    QObject::connect(box, &QMessageBox::finished, box, [box, roles, check, done = std::move(done)] {
        done(AlertAnswer(roles.value(box->clickedButton(), AlertRole::closed), check && check->isChecked()));
    });
    openWindowModal(box);
    if (a.onShown) {
        QPointer<QMessageBox> alive(box);
        a.onShown([alive, gated](const QString &informative, bool enable) {
            if (!alive || !alive->isVisible()) return;
            alive->setInformativeText(informative);
            if (gated) gated->setEnabled(enable);
        });
    }
}

void openText(QWidget *parent, const TextQuestion &q, Dialogs::TextDone done) {
    auto *dialog = new QDialog(parent);
    dialog->setWindowTitle(q.message);
    auto *layout = new QVBoxLayout(dialog);
    auto *title = new QLabel(q.message, dialog);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    title->setTextFormat(Qt::PlainText);
    layout->addWidget(title);
    auto *info = new QLabel(q.informative, dialog);
    info->setTextFormat(Qt::PlainText);
    info->setWordWrap(true);
    layout->addWidget(info);
    auto *field = new QLineEdit(q.text, dialog);
    field->setPlaceholderText(q.placeholder);
    field->setMinimumWidth(q.fieldWidth);
    layout->addWidget(field);
    auto *row = new QDialogButtonBox(dialog);
    for (qsizetype i = 0; i < q.buttons.size(); ++i) {
        QPushButton *b = row->addButton(buttonTitle(q.buttons[i]),
                                        i == 0 ? QDialogButtonBox::AcceptRole : QDialogButtonBox::RejectRole);
        if (i == 0) b->setDefault(true);
    }
    QObject::connect(row, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(row, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(row);
    QObject::connect(dialog, &QDialog::finished, dialog, [field, done = std::move(done)](int result) {
        done(result == QDialog::Accepted ? std::optional<QString>(field->text()) : std::nullopt);
    });
    openWindowModal(dialog);
    field->setFocus();
    if (q.selected < 0 || q.selected >= q.text.size())
        field->selectAll();
    else
        field->setSelection(0, int(q.selected));
}

// Our own widgets, so the question can stand inside the dialog and not only in its caption, which
// many window managers cut short or don't show for a modal sheet: everything moves down one row and the
// question takes the top row.
void putQuestionOnTop(QFileDialog *dialog, const QString &message) {
    auto *grid = qobject_cast<QGridLayout *>(dialog->layout());
    if (message.isEmpty() || !grid) return;
    QList<std::pair<QLayoutItem *, std::array<int, 4>>> items;
    while (grid->count() > 0) {
        std::array<int, 4> at{};
        grid->getItemPosition(0, &at[0], &at[1], &at[2], &at[3]);
        items.append({grid->takeAt(0), at});
    }
    for (const auto &[item, at] : items)
        grid->addItem(item, at[0] + 1, at[1], at[2], at[3]);
    auto *question = new QLabel(message, dialog);
    question->setObjectName(QStringLiteral("question"));
    question->setTextFormat(Qt::PlainText);
    question->setWordWrap(true);
    QFont bold = question->font();
    bold.setBold(true);
    question->setFont(bold);
    grid->addWidget(question, 0, 0, 1, std::max(1, grid->columnCount()));
}

void openFolder(QWidget *parent, const FolderQuestion &q, Dialogs::TextDone done) {
    auto *dialog = new QFileDialog(parent, q.message);
    // Our own widgets, so the question can stand inside the dialog and not only in its caption, which
    // many window managers cut short or don't show for a modal sheet.
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    dialog->setDirectory(ChooserLook::startFolder(q.directory));
    putQuestionOnTop(dialog, q.message);
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, done = std::move(done)](int result) {
        const QString dir = result == QDialog::Accepted ? dialog->selectedFiles().value(0) : QString();
        done(dir.isEmpty() ? std::nullopt : std::optional<QString>(dir));
    });
    openWindowModal(dialog);
    ChooserLook::fit(dialog, ChooserLook::Kind::folders, q.prompt); // once it has the window's text size
}

void openFile(QWidget *parent, const FileQuestion &q, Dialogs::TextDone done) {
    auto *dialog = new QFileDialog(parent, q.title);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAcceptMode(q.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(q.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // Not where the program was started from, which is the root for a program started by the desktop.
    dialog->setDirectory(ChooserLook::startFolder({}));
    if (!q.nameFilters.isEmpty()) dialog->setNameFilters(q.nameFilters);
    if (q.save) {
        dialog->setDefaultSuffix(QStringLiteral("plist"));
        dialog->selectFile(q.fileName);
    }
    putQuestionOnTop(dialog, q.message);
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, done = std::move(done)](int result) {
        const QString file = result == QDialog::Accepted ? dialog->selectedFiles().value(0) : QString();
        done(file.isEmpty() ? std::nullopt : std::optional<QString>(file));
    });
    openWindowModal(dialog);
    ChooserLook::fit(dialog, ChooserLook::Kind::files, q.prompt);
}

} // namespace

Dialogs makeQtDialogs(std::function<QWidget *()> parent) {
    // Questions asked from the settings window stand on it, not on the main window it may cover.
    auto window = [parent]() -> QWidget * {
        if (QWidget *active = QApplication::activeWindow(); active && active->inherits("SettingsWindow"))
            return active;
        return parent ? parent() : nullptr;
    };
    Dialogs d;
    d.alert = [window](const Alert &a, Dialogs::AlertDone done) { openAlert(window(), a, std::move(done)); };
    d.askText = [window](const TextQuestion &q, Dialogs::TextDone done) {
        openText(window(), q, std::move(done));
    };
    d.askFolder = [window](const FolderQuestion &q, Dialogs::TextDone done) {
        openFolder(window(), q, std::move(done));
    };
    d.askFiles = [window](const FilesQuestion &q, Dialogs::FilesDone done) {
        FilesPanel::open(window(), q, std::move(done));
    };
    d.askFile = [window](const FileQuestion &q, Dialogs::TextDone done) {
        openFile(window(), q, std::move(done));
    };
    return d;
}
