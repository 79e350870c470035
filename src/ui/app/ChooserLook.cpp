#include "ui/app/ChooserLook.h"

#include "core/localisation/Lang.h"
#include "core/model/MimeKinds.h"
#include "ui/style/ScreenFit.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontInfo>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLayout>
#include <QSplitter>
#include <QTreeView>

namespace ChooserLook {

namespace {

enum Column { name, size, type, modified };

// The chooser's model as it is, under our column titles and the kinds our panes show: Qt's own come in
// English where it has no translation.
class OurWords : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QIdentityProxyModel::headerData(section, orientation, role);
        switch (section) {
        case name:
            return L("Name");
        case size:
            return L("Größe");
        case type:
            return L("Typ");
        case modified:
            return L("Geändert");
        }
        return QIdentityProxyModel::headerData(section, orientation, role);
    }

    QVariant data(const QModelIndex &index, int role) const override {
        const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
        if (role != Qt::DisplayRole || index.column() != type || !files)
            return QIdentityProxyModel::data(index, role);
        const QModelIndex at = mapToSource(index);
        return files->isDir(at) ? MimeKinds::kindForMimeName("inode/directory")
                                : MimeKinds::kindForFile(files->fileName(at));
    }
};

} // namespace

void fit(QFileDialog *dialog, Kind kind, const QString &accept) {
    const bool folders = kind == Kind::folders;
    // Qt's chooser speaks of directories ("Verzeichnis", "Katalog") where everything else here says folder.
    dialog->setLabelText(QFileDialog::FileName, folders ? L("Ordner:") : L("Dateiname:"));
    dialog->setLabelText(QFileDialog::LookIn, L("Suchen in:"));
    dialog->setLabelText(QFileDialog::FileType, L("Dateityp:"));
    dialog->setLabelText(QFileDialog::Reject, L("Abbrechen"));
    if (!accept.isEmpty()) dialog->setLabelText(QFileDialog::Accept, accept);
    // The choice of types means nothing where only folders are shown.
    for (const char *part : {"fileTypeLabel", "fileTypeCombo"})
        if (auto *w = dialog->findChild<QWidget *>(QLatin1String(part))) w->setVisible(!folders);
    if (auto *up = dialog->findChild<QWidget *>(QStringLiteral("toParentButton")))
        up->setToolTip(L("Übergeordneter Ordner"));
    if (auto *make = dialog->findChild<QWidget *>(QStringLiteral("newFolderButton")))
        make->setToolTip(L("Neuer Ordner"));
    dialog->setProxyModel(new OurWords(dialog));
    // After the model: a view given another model forgets its columns' sizes and hidden ones.
    if (auto *tree = dialog->findChild<QTreeView *>(QStringLiteral("treeView"))) {
        // Qt keeps the columns' state for its next chooser, which may be of the other kind: given back at
        // the end.
        QHeaderView *header = tree->header();
        QObject::connect(dialog, &QDialog::finished, header,
                         [header, before = header->saveState()] { header->restoreState(before); });
        // A folder's size and type say nothing: the names and dates alone.
        tree->setColumnHidden(size, folders);
        tree->setColumnHidden(type, folders);
        header->setStretchLastSection(false);
        header->setSectionResizeMode(name, QHeaderView::Stretch);
        for (int column : {size, type, modified})
            header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    // Neither the columns nor the side list cut a name at the largest text size.
    const int px = QFontInfo(dialog->font()).pixelSize();
    dialog->resize(dialog->size().expandedTo(QSize(ScreenFit::width(px * 48), ScreenFit::height(px * 30))));
    if (dialog->layout()) dialog->layout()->activate();
    auto *side = dialog->findChild<QAbstractItemView *>(QStringLiteral("sidebar"));
    auto *split = dialog->findChild<QSplitter *>(QStringLiteral("splitter"));
    if (side && split && split->count() == 2) {
        const int wanted = side->sizeHintForColumn(0) + 2 * side->frameWidth() + px;
        const int room = std::min(wanted, split->width() / 3);
        split->setSizes({room, split->width() - room});
    }
}

QString startFolder(const QString &wanted) {
    const QString home = QDir::homePath();
    if (!wanted.startsWith(u'/')) return home;
    QString at = QDir::cleanPath(wanted);
    // A folder gone since (a rule's folder, a pane on a drive taken out) opens at what held it.
    while (at != u"/" && !QFileInfo(at).isDir())
        at = QFileInfo(at).path();
    // The root says nothing about where the user meant to be, unless it was asked for.
    return at == u"/" && QDir::cleanPath(wanted) != u"/" ? home : at;
}

} // namespace ChooserLook
