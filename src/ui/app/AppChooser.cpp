#include "ui/app/AppChooser.h"

#include "core/localisation/Lang.h"
#include "ui/app/ChooserLook.h"

#include <QFileDialog>
#include <QMenu>

void chooseApplications(QWidget *parent, const QString &title, const QString &directory, bool many,
                        std::function<void(const QStringList &)> done) {
    // A menu closes and deletes itself once an entry is chosen, and would take the panel along: the panel
    // belongs to the window the menu was opened from.
    while (parent && (qobject_cast<QMenu *>(parent) || parent->windowType() == Qt::Popup))
        parent = parent->parentWidget();
    if (parent) parent = parent->window();
    auto *dialog = new QFileDialog(parent, title);
    dialog->setObjectName(QStringLiteral("appChooser"));
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setFileMode(many ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog->setNameFilter(QStringLiteral("*.desktop"));
    dialog->setDirectory(ChooserLook::startFolder(directory));
    dialog->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, done = std::move(done)](int result) {
        done(result == QDialog::Accepted ? dialog->selectedFiles() : QStringList());
    });
    dialog->open();
    ChooserLook::fit(dialog, ChooserLook::Kind::files, L("Öffnen"));
}
