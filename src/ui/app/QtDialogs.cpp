#include "ui/app/QtDialogs.h"

#include "core/localisation/Lang.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QVBoxLayout>
#include <QMessageBox>
#include <QPushButton>

Dialogs makeQtDialogs(std::function<QWidget *()> parent) {
    Dialogs d;
    d.alert = [parent](const Alert &a) {
        QMessageBox box(parent ? parent() : nullptr);
        box.setIcon(a.style == Alert::Style::critical  ? QMessageBox::Critical
                    : a.style == Alert::Style::warning ? QMessageBox::Warning
                                                       : QMessageBox::Information);
        box.setTextFormat(Qt::PlainText);
        box.setText(a.message);
        box.setInformativeText(a.informative);
        QList<QAbstractButton *> buttons;
        for (qsizetype i = 0; i < a.buttons.size(); ++i) {
            // Plain text: an "&" in a file name is not a mnemonic.
            QString title = a.buttons[i];
            title.replace(u'&', QStringLiteral("&&"));
            buttons << box.addButton(title, i == 0 ? QMessageBox::AcceptRole : QMessageBox::ActionRole);
            if (a.buttons[i] == L("Abbrechen")) box.setEscapeButton(buttons.last());
        }
        if (!buttons.isEmpty()) box.setDefaultButton(qobject_cast<QPushButton *>(buttons.first()));
        QCheckBox *check = nullptr;
        if (!a.checkBox.isEmpty()) {
            check = new QCheckBox(a.checkBox, &box);
            box.setCheckBox(check);
        }
        // The destructive button: red with white text, whatever the style draws.
        if (a.destructiveButton >= 0 && a.destructiveButton < buttons.size()) {
            QAbstractButton *red = buttons[a.destructiveButton];
            QPalette palette = red->palette();
            palette.setColor(QPalette::Button, QColor::fromRgbF(0.62f, 0.09f, 0.09f));
            palette.setColor(QPalette::ButtonText, Qt::white);
            red->setPalette(palette);
            red->setAutoFillBackground(true);
            red->setStyleSheet(
                QStringLiteral("QPushButton { background-color: rgb(158, 23, 23); color: white; "
                               "border-radius: 4px; padding: 4px 12px; }"
                               "QPushButton:disabled { background-color: rgba(158, 23, 23, 0.45); "
                               "color: rgba(255, 255, 255, 0.7); }"));
        }
        QPointer<QAbstractButton> gated;
        if (a.disabledButton >= 0 && a.disabledButton < buttons.size()) {
            gated = buttons[a.disabledButton];
            gated->setEnabled(false);
        }
        if (a.onShown) {
            QPointer<QMessageBox> alive(&box);
            a.onShown([alive, gated](const QString &informative, bool enable) {
                if (!alive) return;
                alive->setInformativeText(informative);
                if (gated) gated->setEnabled(enable);
            });
        }
        box.exec();
        AlertAnswer answer;
        answer.button = int(buttons.indexOf(box.clickedButton()));
        answer.checked = check && check->isChecked();
        return answer;
    };
    d.askText = [parent](const TextQuestion &q) -> std::optional<QString> {
        QDialog dialog(parent ? parent() : nullptr);
        dialog.setWindowTitle(q.message);
        auto *layout = new QVBoxLayout(&dialog);
        auto *title = new QLabel(q.message, &dialog);
        QFont bold = title->font();
        bold.setBold(true);
        title->setFont(bold);
        title->setTextFormat(Qt::PlainText);
        layout->addWidget(title);
        auto *info = new QLabel(q.informative, &dialog);
        info->setTextFormat(Qt::PlainText);
        info->setWordWrap(true);
        layout->addWidget(info);
        auto *field = new QLineEdit(q.text, &dialog);
        field->setPlaceholderText(q.placeholder);
        field->setMinimumWidth(q.fieldWidth);
        layout->addWidget(field);
        auto *row = new QDialogButtonBox(&dialog);
        QPushButton *confirm = nullptr;
        for (qsizetype i = 0; i < q.buttons.size(); ++i) {
            QString text = q.buttons[i];
            text.replace(u'&', QStringLiteral("&&"));
            QPushButton *b =
                row->addButton(text, i == 0 ? QDialogButtonBox::AcceptRole : QDialogButtonBox::RejectRole);
            if (i == 0) confirm = b;
        }
        if (confirm) confirm->setDefault(true);
        QObject::connect(row, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(row, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        layout->addWidget(row);
        field->setFocus();
        field->selectAll();
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        return field->text();
    };
    return d;
}
