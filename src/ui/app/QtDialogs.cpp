#include "ui/app/QtDialogs.h"

#include "core/localisation/Lang.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
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
        box.exec();
        AlertAnswer answer;
        answer.button = int(buttons.indexOf(box.clickedButton()));
        answer.checked = check && check->isChecked();
        return answer;
    };
    return d;
}
