#include "ui/app/FilesPanel.h"
#include "ui/app/ChooserLook.h"

#include <QAbstractItemView>
#include <QFileSystemModel>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>

FilesPanel::FilesPanel(QWidget *parent, const FilesQuestion &q) : QFileDialog(parent, q.title) {
    setOption(QFileDialog::DontUseNativeDialog, true);
    setFileMode(QFileDialog::ExistingFiles);
    setLabelText(QFileDialog::Accept, q.prompt);
    setDirectory(ChooserLook::startFolder(q.directory));
    // Folders count as choices too: both views select several entries of either kind.
    for (QAbstractItemView *view : findChildren<QAbstractItemView *>())
        if (view->objectName() == u"listView" || view->objectName() == u"treeView")
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    if (!q.message.isEmpty()) {
        auto *message = new QLabel(q.message, this);
        message->setObjectName(QStringLiteral("message"));
        message->setWordWrap(true);
        message->setTextFormat(Qt::PlainText);
        if (layout()) layout()->addWidget(message);
    }
}

QStringList FilesPanel::chosen() const {
    QStringList out;
    for (QAbstractItemView *view : findChildren<QAbstractItemView *>()) {
        if (view->objectName() != u"listView" && view->objectName() != u"treeView") continue;
        if (!view->isVisible() && !out.isEmpty()) continue;
        const auto *sel = view->selectionModel();
        if (!sel) continue;
        for (const QModelIndex &index : sel->selectedRows()) {
            // The views show the panel's file-system model through a proxy at most; the path role
            // is the same either way.
            const QString path = index.data(QFileSystemModel::FilePathRole).toString();
            if (!path.isEmpty() && !out.contains(path)) out << path;
        }
        if (!out.isEmpty()) break;
    }
    return out;
}

void FilesPanel::accept() {
    m_chosen = chosen();
    if (m_chosen.isEmpty()) {
        // A typed name: the panel's own handling (it opens a typed folder, takes a typed file).
        QFileDialog::accept();
        return;
    }
    QDialog::accept();
}

FilesPanel *FilesPanel::open(QWidget *parent, const FilesQuestion &q, Dialogs::FilesDone done) {
    auto *panel = new FilesPanel(parent, q);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    panel->setAttribute(Qt::WA_WindowPropagation); // the text size of the window it stands on
    QObject::connect(panel, &QDialog::finished, panel, [panel, done = std::move(done)](int result) {
        if (result != QDialog::Accepted) {
            done(std::nullopt);
            return;
        }
        const QStringList paths = panel->m_chosen.isEmpty() ? panel->selectedFiles() : panel->m_chosen;
        done(paths.isEmpty() ? std::nullopt : std::optional<QStringList>(paths));
    });
    panel->QDialog::open();
    ChooserLook::fit(panel, ChooserLook::Kind::files, q.prompt); // once it has the window's text size
    return panel;
}
