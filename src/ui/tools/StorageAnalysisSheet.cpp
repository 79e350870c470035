#include "ui/tools/StorageAnalysisSheet.h"

#include "core/app/AppState.h"
#include "core/localisation/AppLanguage.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "ui/panecontent/IconCache.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/ScreenFit.h"
#include "ui/style/Symbols.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QButtonGroup>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QStorageInfo>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

// The rows of the list as the snapshot holds them (shared, not copied); the delegate draws them.
class StorageRows : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;
    StorageEntries children;
    QList<StorageEntry> tops;
    qint64 total = 0;
    qint64 scale = 1; // the largest row, the full bar
    int tab = 0;
    QString analysed;

    void set(const StorageSnapshot &s, int tb, const QString &a) {
        beginResetModel();
        children = s.entries;
        tops = s.topFiles;
        total = s.total;
        tab = tb;
        analysed = a;
        scale = 1;
        if (tab == 0)
            scale = std::max(scale, children.largest());
        else
            for (const StorageEntry &e : tops)
                scale = std::max(scale, e.size);
        endResetModel();
    }
    qsizetype count() const { return tab == 0 ? children.size() : tops.size(); }
    StorageEntry entry(qsizetype i) const { return tab == 0 ? children.at(i) : tops[i]; }
    int rowCount(const QModelIndex &parent = {}) const override {
        return parent.isValid() ? 0 : int(std::min<qsizetype>(count(), INT_MAX));
    }
    QVariant data(const QModelIndex &index, int role) const override {
        if (!index.isValid() || index.row() >= count()) return {};
        if (role == Qt::DisplayRole) return tab == 0 ? children.name(index.row()) : tops[index.row()].name;
        if (role == Qt::ToolTipRole) return tab == 0 ? children.path(index.row()) : tops[index.row()].path;
        return {};
    }
};

namespace {

QFont sized(QFont f, double px, QFont::Weight weight = QFont::Normal) {
    f.setPixelSize(int(std::round(px)));
    f.setWeight(weight);
    return f;
}

QLabel *secondary(double px, QWidget *parent) {
    auto *l = new QLabel(parent);
    l->setFont(sized(l->font(), px));
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, p.color(QPalette::PlaceholderText));
    l->setPalette(p);
    return l;
}

class RowDelegate : public QStyledItemDelegate {
public:
    RowDelegate(StorageRows *rows, QWidget *view) : QStyledItemDelegate(view), m_rows(rows), m_view(view) {}

    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override {
        return {400, int(std::round(EnvironmentValues::ui(m_view).font * 2.9))};
    }
    void paint(QPainter *p, const QStyleOptionViewItem &option, const QModelIndex &index) const override {
        QStyleOptionViewItem base = option;
        initStyleOption(&base, index);
        base.text.clear();
        base.icon = QIcon();
        // Only the row's background and selection; the rest is drawn below.
        QStyle *style = option.widget ? option.widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &base, p, option.widget);
        const StorageEntry e = m_rows->entry(index.row());
        const UIScale ui = EnvironmentValues::ui(m_view);
        const AppTheme theme = EnvironmentValues::appTheme(m_view);
        const QRect r = option.rect.adjusted(8, 0, -8, 0);
        const bool selected = option.state & QStyle::State_Selected;
        const QColor text = option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
        QColor dim = text;
        dim.setAlphaF(0.6f);
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        int x = r.left();
        IconCache::icon(e.path).paint(p, QRect(x, r.center().y() - 10, 20, 20));
        x += 30;
        const int shareW = StorageAnalysisSheet::shareColumn(ui),
                  sizeW = StorageAnalysisSheet::sizeColumn(ui);
        const int barW = 140;
        const int right = r.right();
        const int shareX = right - shareW, sizeX = shareX - 10 - sizeW, barX = sizeX - 10 - barW;
        paintNames(p, e, QRect(x, r.top(), std::max(0, barX - 8 - x), r.height()), option.font, ui, text,
                   dim);
        paintBar(p, e, QRectF(barX, r.center().y() - 4, barW, 8), text, theme);
        p->setFont(StorageAnalysisSheet::digitsFont(ui));
        p->setPen(text);
        p->drawText(QRect(sizeX, r.top(), sizeW, r.height()), Qt::AlignRight | Qt::AlignVCenter,
                    e.otherVolume ? QStringLiteral("—") : FileFmt::size(e.size));
        p->setPen(dim);
        p->drawText(QRect(shareX, r.top(), shareW, r.height()), Qt::AlignRight | Qt::AlignVCenter,
                    StorageAnalysisSheet::share(e, m_rows->total));
        p->restore();
    }

private:
    // The entry's name, and under it its folder (largest files) or why it was not measured.
    void paintNames(QPainter *p, const StorageEntry &e, const QRect &nameRect, const QFont &base,
                    const UIScale &ui, const QColor &text, const QColor &dim) const {
        QString second;
        if (m_rows->tab == 1)
            second = StorageAnalysisSheet::relativeFolder(m_rows->analysed, e.path);
        else if (e.otherVolume)
            second = L("Anderes Laufwerk, nicht gemessen");
        QFont nameFont = sized(base, ui.font);
        QFont smallFont = sized(base, ui.small());
        p->setPen(text);
        p->setFont(nameFont);
        const QFontMetrics fm(nameFont), sm(smallFont);
        const bool two = m_rows->tab == 1 || e.otherVolume;
        const int lineY = two ? nameRect.center().y() - (fm.height() + sm.height()) / 2
                              : nameRect.center().y() - fm.height() / 2;
        p->drawText(QRect(nameRect.left(), lineY, nameRect.width(), fm.height()),
                    Qt::AlignLeft | Qt::AlignVCenter,
                    fm.elidedText(e.name, Qt::ElideMiddle, nameRect.width()));
        if (!two) return;
        p->setFont(smallFont);
        p->setPen(dim);
        p->drawText(
            QRect(nameRect.left(), lineY + fm.height() + 1, nameRect.width(), sm.height()),
            Qt::AlignLeft | Qt::AlignVCenter,
            sm.elidedText(second, m_rows->tab == 1 ? Qt::ElideLeft : Qt::ElideRight, nameRect.width()));
    }

    // Its size against the largest, on a faint track.
    void paintBar(QPainter *p, const StorageEntry &e, const QRectF &track, const QColor &text,
                  const AppTheme &theme) const {
        QColor trackColour = text;
        trackColour.setAlphaF(0.08f);
        p->setPen(Qt::NoPen);
        p->setBrush(trackColour);
        p->drawRoundedRect(track, 4, 4);
        const QRectF bar(track.left(), track.top(),
                         StorageAnalysisSheet::barWidth(e.size, m_rows->scale, track.width()), 8);
        p->setBrush(theme.gradient(bar));
        p->drawRoundedRect(bar, 4, 4);
    }

    StorageRows *m_rows;
    QWidget *m_view;
};

} // namespace

StorageAnalysisSheet::StorageAnalysisSheet(AppState *app, const QString &path, QWidget *parent)
    : QDialog(parent), m_app(app), m_requestPath(path) {
    setWindowTitle(L("Speicheranalyse"));
    setFixedSize(ScreenFit::width(900), ScreenFit::height(660));
    build();
    connect(&m_model, &StorageModel::changed, this, &StorageAnalysisSheet::refresh);
    if (m_model.path().isEmpty()) m_model.start(m_requestPath, false);
    refresh();
}

StorageAnalysisSheet::~StorageAnalysisSheet() {
    m_model.cancel();
}

void StorageAnalysisSheet::build() {
    const UIScale ui = EnvironmentValues::ui(parentWidget());
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(16, 16, 16, 16);
    outer->setSpacing(10);

    buildHeader(outer, ui);
    buildStatus(outer, ui);
    buildTabs(outer);
    buildList(outer, ui);
    buildActions(outer);
}

void StorageAnalysisSheet::buildHeader(QVBoxLayout *outer, const UIScale &ui) {
    auto *header = new QHBoxLayout;
    auto *title = new QLabel(L("Speicheranalyse"), this);
    title->setFont(sized(title->font(), ui.font + 3, QFont::DemiBold));
    header->addWidget(title);
    header->addStretch();
    m_back = new QPushButton(Symbols::icon(QStringLiteral("chevron.left")), L("Zurück"), this);
    connect(m_back, &QPushButton::clicked, this, [this] {
        m_selected.reset();
        m_model.back();
    });
    auto *other = new QPushButton(L("Anderen Ordner wählen …"), this);
    connect(other, &QPushButton::clicked, this, &StorageAnalysisSheet::chooseFolder);
    m_again = new QPushButton(L("Neu messen"), this);
    connect(m_again, &QPushButton::clicked, this, [this] {
        m_selected.reset();
        m_model.start(m_model.path(), false);
    });
    for (QPushButton *b : {m_back, other, m_again}) {
        b->setAutoDefault(false);
        header->addWidget(b);
    }
    outer->addLayout(header);

    m_path = secondary(ui.small(), this);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(int(std::round(ui.small())));
    m_path->setFont(mono);
    m_path->setTextFormat(Qt::PlainText);
    m_path->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    outer->addWidget(m_path);
}

void StorageAnalysisSheet::buildStatus(QVBoxLayout *outer, const UIScale &ui) {
    auto *status = new QHBoxLayout;
    status->setSpacing(12);
    m_spinner = new QProgressBar(this);
    m_spinner->setRange(0, 0);
    m_spinner->setFixedSize(60, 10);
    m_spinner->setTextVisible(false);
    status->addWidget(m_spinner);
    m_statusText = new QLabel(this);
    status->addWidget(m_statusText);
    m_stop = new QPushButton(L("Messung abbrechen"), this);
    m_stop->setAutoDefault(false);
    connect(m_stop, &QPushButton::clicked, &m_model, &StorageModel::cancel);
    status->addWidget(m_stop);
    m_counts = secondary(ui.font, this);
    status->addWidget(m_counts);
    status->addStretch();
    outer->addLayout(status);

    m_volume = secondary(ui.small(), this);
    outer->addWidget(m_volume);
}

void StorageAnalysisSheet::buildTabs(QVBoxLayout *outer) {
    auto *tabs = new QHBoxLayout;
    tabs->setSpacing(0);
    auto *group = new QButtonGroup(this);
    m_byFolder = new QPushButton(L("Nach Ordnern"), this);
    m_largest = new QPushButton(L("Größte Dateien"), this);
    for (QPushButton *b : {m_byFolder, m_largest}) {
        b->setCheckable(true);
        b->setAutoDefault(false);
        b->setMaximumWidth(180);
        tabs->addWidget(b);
    }
    group->addButton(m_byFolder, 0);
    group->addButton(m_largest, 1);
    m_byFolder->setChecked(true);
    connect(group, &QButtonGroup::idClicked, this, &StorageAnalysisSheet::setTab);
    tabs->addStretch();
    outer->addLayout(tabs);
}

void StorageAnalysisSheet::buildList(QVBoxLayout *outer, const UIScale &ui) {
    m_rows = new StorageRows(this);
    m_list = new QListView(this);
    m_list->setModel(m_rows);
    m_list->setItemDelegate(new RowDelegate(m_rows, m_list));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setUniformItemSizes(true);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QListView::clicked, this, [this](const QModelIndex &i) {
        if (i.isValid() && i.row() < m_rows->count()) {
            m_selected = m_rows->entry(i.row()).path;
            refresh();
        }
    });
    connect(m_list, &QListView::doubleClicked, this, [this](const QModelIndex &i) {
        if (i.isValid() && i.row() < m_rows->count()) activate(m_rows->entry(i.row()));
    });
    connect(m_list, &QWidget::customContextMenuRequested, this, &StorageAnalysisSheet::contextMenu);
    m_empty = secondary(ui.font, m_list->viewport());
    m_empty->setText(L("Hier gibt es nichts zu messen."));
    m_empty->setAlignment(Qt::AlignCenter);
    outer->addWidget(m_list, 1);

    m_skipped = secondary(ui.small(), this);
    m_skipped->setWordWrap(true);
    outer->addWidget(m_skipped);
    auto *note = secondary(ui.small(), this);
    note->setWordWrap(true);
    note->setText(
        L("Gemessen wird der belegte Platz auf dem Datenträger. Dateien, die nur in der Cloud liegen, "
          "zählen kaum. Verknüpfungen und andere Laufwerke werden nicht verfolgt. Gelöscht wird hier "
          "nichts."));
    outer->addWidget(note);
}

void StorageAnalysisSheet::buildActions(QVBoxLayout *outer) {
    auto *actions = new QHBoxLayout;
    m_analyse = new QPushButton(L("Diesen Ordner analysieren"), this);
    m_open = new QPushButton(L("Im Fenster öffnen"), this);
    m_show = new QPushButton(L("Im Dateimanager zeigen"), this);
    connect(m_analyse, &QPushButton::clicked, this, [this] {
        if (auto e = selectedEntry()) analyse(*e);
    });
    connect(m_open, &QPushButton::clicked, this, [this] {
        if (auto e = selectedEntry()) openInPane(*e);
    });
    connect(m_show, &QPushButton::clicked, this, [this] {
        if (auto e = selectedEntry()) reveal(e->path);
    });
    for (QPushButton *b : {m_analyse, m_open, m_show}) {
        b->setAutoDefault(false);
        actions->addWidget(b);
    }
    actions->addStretch();
    auto *close = new QPushButton(L("Schließen"), this);
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    actions->addWidget(close);
    outer->addLayout(actions);
}

qsizetype StorageAnalysisSheet::rowCount() const {
    return m_tab == 0 ? m_model.snapshot().entries.size() : m_model.snapshot().topFiles.size();
}

StorageEntry StorageAnalysisSheet::row(qsizetype i) const {
    return m_tab == 0 ? m_model.snapshot().entries.at(i) : m_model.snapshot().topFiles[i];
}

qsizetype StorageAnalysisSheet::rowOf(const QString &path) const {
    if (m_tab == 0) return m_model.snapshot().entries.indexOf(path);
    const QList<StorageEntry> &tops = m_model.snapshot().topFiles;
    for (qsizetype i = 0; i < tops.size(); ++i)
        if (tops[i].path == path) return i;
    return -1;
}

std::optional<StorageEntry> StorageAnalysisSheet::selectedEntry() const {
    const qsizetype i = m_selected ? rowOf(*m_selected) : -1;
    if (i < 0) return std::nullopt;
    return row(i);
}

void StorageAnalysisSheet::select(const std::optional<QString> &path) {
    m_selected = path;
    refresh();
}

void StorageAnalysisSheet::setTab(int tab) {
    m_tab = tab == 1 ? 1 : 0;
    (m_tab == 0 ? m_byFolder : m_largest)->setChecked(true);
    refresh();
}

void StorageAnalysisSheet::refresh() {
    const StorageSnapshot &s = m_model.snapshot();
    const bool scanning = m_model.scanning();
    m_back->setEnabled(!m_model.history().isEmpty());
    m_again->setEnabled(!scanning);
    m_path->setText(
        QFontMetrics(m_path->font()).elidedText(m_model.path(), Qt::ElideLeft, std::max(100, width() - 40)));
    m_spinner->setVisible(scanning);
    m_stop->setVisible(scanning);
    if (scanning) {
        m_statusText->setFont(sized(m_statusText->font(), EnvironmentValues::ui(parentWidget()).font));
        m_statusText->setText(L("Wird gemessen …") + u' ' + FileFmt::size(s.total));
        m_counts->clear();
    } else {
        m_statusText->setFont(
            sized(m_statusText->font(), EnvironmentValues::ui(parentWidget()).font, QFont::DemiBold));
        m_statusText->setText(LF("Gesamt: %@", FileFmt::size(s.total)));
        m_counts->setText(LF("Dateien: %d · Ordner: %d", s.files, s.folders));
    }
    const auto volume = scanning ? std::nullopt : volumeLine();
    m_volume->setVisible(volume.has_value());
    if (volume) m_volume->setText(*volume);

    m_rows->set(s, m_tab, m_model.path());
    // The selection follows the path, not the position.
    m_list->clearSelection();
    const qsizetype at = m_selected ? rowOf(*m_selected) : -1;
    if (at >= 0 && at < m_rows->rowCount())
        m_list->selectionModel()->select(m_rows->index(int(at)), QItemSelectionModel::ClearAndSelect);
    const bool empty = !scanning && m_rows->count() == 0;
    m_empty->setVisible(empty);
    m_empty->resize(m_list->viewport()->size());
    m_skipped->setVisible(!scanning && s.skipped > 0);
    m_skipped->setText(LF("Nicht lesbar oder übersprungen: %d. Ordner und Dateien ohne Leserecht werden "
                          "übersprungen.",
                          s.skipped));

    const auto sel = selectedEntry();
    m_analyse->setEnabled(sel && sel->isDirectory && !sel->otherVolume);
    m_open->setEnabled(sel.has_value());
    m_show->setEnabled(sel.has_value());
}

QString StorageAnalysisSheet::relativeFolder(const QString &analysed, const QString &path) {
    QString parent = path.section(u'/', 0, -2);
    QString prefix = analysed;
    if (!prefix.endsWith(u'/')) prefix += u'/';
    return parent.startsWith(prefix) ? parent.mid(prefix.size()) : parent;
}

QFont StorageAnalysisSheet::digitsFont(const UIScale &ui) {
    QFont digits = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    digits.setPixelSize(int(std::round(ui.small() + 0.5)));
    return digits;
}

int StorageAnalysisSheet::shareColumn(const UIScale &ui) {
    StorageEntry whole;
    whole.size = 1;
    return std::max(56, QFontMetrics(digitsFont(ui)).horizontalAdvance(share(whole, 1)) + 2);
}

int StorageAnalysisSheet::sizeColumn(const UIScale &ui) {
    return std::max(80, QFontMetrics(digitsFont(ui)).horizontalAdvance(FileFmt::size(999'900'000'000)) + 2);
}

QString StorageAnalysisSheet::share(const StorageEntry &entry, qint64 total) {
    if (total <= 0 || entry.otherVolume) return {};
    const QLocale locale(AppLanguages::rawValue(Lang::current()));
    return locale.toString(double(entry.size) * 100.0 / double(total), 'f', 1) + QStringLiteral(" %");
}

double StorageAnalysisSheet::barWidth(qint64 size, qint64 scale, double track) {
    return std::max(2.0, track * double(size) / double(std::max<qint64>(scale, 1)));
}

std::optional<QString> StorageAnalysisSheet::volumeLine() const {
    if (m_model.path().isEmpty()) return std::nullopt;
    const QStorageInfo info(m_model.path());
    if (!info.isValid() || !info.isReady() || info.bytesTotal() <= 0) return std::nullopt;
    return LF("Frei auf dem Laufwerk: %@ von %@", FileFmt::size(info.bytesAvailable()),
              FileFmt::size(info.bytesTotal()));
}

void StorageAnalysisSheet::analyse(const StorageEntry &entry) {
    m_selected.reset();
    m_tab = 0;
    m_byFolder->setChecked(true);
    m_model.start(entry.path, true);
}

void StorageAnalysisSheet::activate(const StorageEntry &entry) {
    if (!entry.isDirectory)
        reveal(entry.path);
    else if (!entry.otherVolume)
        analyse(entry);
}

void StorageAnalysisSheet::reveal(const QString &path) {
    if (m_app) m_app->items().showInFileManager({path});
}

void StorageAnalysisSheet::openInPane(const StorageEntry &entry) {
    if (m_app) {
        PaneModel *pane = m_app->activePane();
        if (entry.isDirectory) {
            pane->go(entry.path, true, {});
        } else {
            QString folder = entry.path.section(u'/', 0, -2);
            if (folder.isEmpty()) folder = QStringLiteral("/");
            pane->go(folder, true, {FileLoader::norm(entry.path)});
        }
    }
    reject();
}

void StorageAnalysisSheet::chooseFolder() {
    if (!m_app) return;
    QPointer<StorageAnalysisSheet> self(this);
    m_app->services().dialogs.folder(FolderQuestion{QString(), L("Analysieren"), m_model.path()},
                                     [self](std::optional<QString> chosen) {
                                         if (!self || !chosen) return;
                                         self->m_selected.reset();
                                         self->m_model.start(*chosen, true);
                                     });
}

void StorageAnalysisSheet::contextMenu(const QPoint &at) {
    const QModelIndex i = m_list->indexAt(at);
    if (!i.isValid() || i.row() >= m_rows->count()) return;
    const StorageEntry e = m_rows->entry(i.row());
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (e.isDirectory && !e.otherVolume)
        menu->addAction(L("Diesen Ordner analysieren"), this, [this, e] { analyse(e); });
    menu->addAction(L("Im Fenster öffnen"), this, [this, e] { openInPane(e); });
    menu->addAction(L("Im Dateimanager zeigen"), this, [this, e] { reveal(e.path); });
    menu->popup(m_list->viewport()->mapToGlobal(at));
}

void StorageAnalysisSheet::done(int result) {
    m_model.cancel();
    QDialog::done(result);
}
