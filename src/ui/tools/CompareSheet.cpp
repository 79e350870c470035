#include "ui/tools/CompareSheet.h"

#include "core/app/AppState.h"
#include "core/base/Background.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "core/tools/FolderSync.h"
#include "ui/help/HelpButton.h"
#include "ui/style/ElidedLabel.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/ScreenFit.h"
#include "ui/style/Symbols.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

// --- rows model

void CompareRowsModel::setRows(QList<CompareRow> rows) {
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
    emit stepsChanged();
}

void CompareRowsModel::setMode(SyncMode mode, bool deleteExtra) {
    m_mode = mode;
    m_deleteExtra = deleteExtra;
    if (!m_rows.isEmpty()) emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, columnCount_ - 1));
    emit stepsChanged();
}

SyncAction CompareRowsModel::actionOf(const CompareRow &row) const {
    return FolderCompare::action(row, m_mode, m_deleteExtra);
}

QList<SyncStep> CompareRowsModel::steps() const {
    QList<SyncStep> out;
    for (const CompareRow &row : m_rows) {
        const SyncAction a = actionOf(row);
        if (a != SyncAction::none && !m_off.contains(row.id)) out << SyncStep{row, a};
    }
    return out;
}

void CompareRowsModel::setTicked(const QString &id, bool ticked) {
    if (ticked)
        m_off.remove(id);
    else
        m_off.insert(id);
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].id == id) emit dataChanged(index(i, check), index(i, check));
    emit stepsChanged();
}

int CompareRowsModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CompareRowsModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : columnCount_;
}

QString CompareRowsModel::info(std::optional<qint64> size, const std::optional<QDateTime> &date,
                               bool folder) {
    if (!size) return QStringLiteral("—");
    const QString when = date ? FileFmt::date().string(*date) : QString();
    // A folder's own entry size tells a user nothing, nor does a pipe's: never shown as an empty document.
    const QString amount = folder ? QString() : FileFmt::size(*size);
    if (when.isEmpty() || amount.isEmpty()) return amount + when;
    return amount + QStringLiteral(" · ") + when;
}

QString CompareRowsModel::info(const CompareRow &row, bool left) {
    const std::optional<EntryFacts> &facts = left ? row.leftFacts : row.rightFacts;
    const bool sized = facts ? S_ISREG(facts->type) || S_ISLNK(facts->type) : !row.isDir;
    return info(left ? row.leftSize : row.rightSize, left ? row.leftDate : row.rightDate, !sized);
}

QVariant CompareRowsModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size()) return {};
    const CompareRow &row = m_rows[index.row()];
    const SyncAction a = actionOf(row);
    const QPalette palette;
    switch (index.column()) {
    case check:
        if (role == Qt::CheckStateRole)
            return a != SyncAction::none && !m_off.contains(row.id) ? Qt::Checked : Qt::Unchecked;
        break;
    case name: {
        // A row's trouble, else why this mode leaves it alone.
        const QString why = row.note.isEmpty() ? L(FolderCompare::keptReason(row, m_mode)) : row.note;
        if (role == Qt::DisplayRole) return why.isEmpty() ? row.id : row.id + QStringLiteral(" — ") + why;
        if (role == Qt::ToolTipRole) return why.isEmpty() ? row.id : why;
        if (role == Qt::DecorationRole)
            return Symbols::icon(row.isDir ? QStringLiteral("folder") : QStringLiteral("doc"));
        if (role == Qt::ForegroundRole && !row.note.isEmpty()) return QColor(Qt::red);
        break;
    }
    case leftInfo:
    case rightInfo: {
        const bool left = index.column() == leftInfo;
        const std::optional<qint64> size = left ? row.leftSize : row.rightSize;
        if (role == Qt::DisplayRole) return info(row, left);
        if (role == Qt::TextAlignmentRole)
            return int((left ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
        if (role == Qt::ForegroundRole) {
            QColor c = palette.color(QPalette::Text);
            c.setAlphaF(size ? 0.7 : 0.45);
            return c;
        }
        break;
    }
    case action: {
        if (role == Qt::DecorationRole) {
            QString symbol = QStringLiteral("minus");
            QColor color = palette.color(QPalette::Text);
            color.setAlphaF(0.35);
            if (a == SyncAction::toRight || a == SyncAction::toLeft) {
                symbol =
                    a == SyncAction::toRight ? QStringLiteral("arrow.right") : QStringLiteral("arrow.left");
                color = EnvironmentValues::themeFromSettings().readable(AppTheme::schemeOf(palette), 3.0);
            } else if (a == SyncAction::trashLeft || a == SyncAction::trashRight) {
                symbol = QStringLiteral("trash");
                color = Qt::red;
            }
            return Symbols::pixmap(symbol, 14, color);
        }
        if (role == Qt::AccessibleTextRole) return int(a);
        break;
    }
    default:
        break;
    }
    return {};
}

bool CompareRowsModel::setData(const QModelIndex &index, const QVariant &value, int role) {
    if (!index.isValid() || index.column() != check || role != Qt::CheckStateRole) return false;
    setTicked(m_rows[index.row()].id, value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags CompareRowsModel::flags(const QModelIndex &index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    if (index.column() != check) return Qt::ItemIsEnabled;
    return actionOf(m_rows[index.row()]) == SyncAction::none ? Qt::ItemIsUserCheckable
                                                             : Qt::ItemIsEnabled | Qt::ItemIsUserCheckable;
}

// --- the list

namespace {

// Tab leaves the list for the buttons, as in every other sheet; the row the keys act on is ringed in the
// accent colour while the list has the focus (the style's own marker is a faint dotted cell).
class CompareTable : public QTableView {
public:
    explicit CompareTable(QWidget *parent) : QTableView(parent) {
        setTabKeyNavigation(false);
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void focusInEvent(QFocusEvent *event) override {
        if (!currentIndex().isValid() && model() && model()->rowCount() > 0)
            setCurrentIndex(model()->index(0, CompareRowsModel::check));
        QTableView::focusInEvent(event);
        viewport()->update();
    }
    void focusOutEvent(QFocusEvent *event) override {
        QTableView::focusOutEvent(event);
        viewport()->update();
    }
    // The ring spans the row, wider than the cells the view repaints.
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override {
        QTableView::currentChanged(current, previous);
        viewport()->update();
    }
    void paintEvent(QPaintEvent *event) override {
        QTableView::paintEvent(event);
        const QModelIndex current = currentIndex();
        if (!hasFocus() || !current.isValid()) return;
        const int y = rowViewportPosition(current.row()), h = rowHeight(current.row());
        QPainter p(viewport());
        p.setRenderHint(QPainter::Antialiasing);
        const QColor window = palette().color(QPalette::Base);
        p.setPen(QPen(
            AppTheme::readableOn(EnvironmentValues::appTheme(this).readable(AppTheme::schemeOf(palette()), 3),
                                 {window}, 3),
            2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(1, y + 1, viewport()->width() - 2, h - 2), 4, 4);
    }
};

} // namespace

// --- the sheet

CompareSheet::CompareSheet(AppState *app, QString left, QString right, QWidget *parent)
    : QDialog(parent), m_app(app), m_left(std::move(left)), m_right(std::move(right)) {
    setObjectName(QStringLiteral("CompareSheet"));
    setWindowTitle(L("Ordner vergleichen und synchronisieren"));
    const UIScale ui = EnvironmentValues::ui(parent);
    resize(ScreenFit::width(900), ScreenFit::height(640));

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(20, 20, 20, 20);
    root->setSpacing(12);
    buildHeader(root, ui);
    buildBody(root, ui);
    wire(buildFooter(root, ui));

    update();
    QMetaObject::invokeMethod(this, &CompareSheet::scan, Qt::QueuedConnection);
}

QFont CompareSheet::smallFont(const UIScale &ui) const {
    QFont small = font();
    small.setPixelSize(int(ui.small() + 0.5));
    return small;
}

// The title, the two folders, the direction and the mirror switch.
void CompareSheet::buildHeader(QVBoxLayout *root, const UIScale &ui) {
    auto *title = new QLabel(L("Ordner vergleichen und synchronisieren"), this);
    QFont tf = title->font();
    tf.setPixelSize(int(ui.font + 3));
    tf.setWeight(QFont::DemiBold);
    title->setFont(tf);
    root->addWidget(title);

    const QFont small = smallFont(ui);
    auto *paths = new QVBoxLayout;
    paths->setSpacing(2);
    for (const auto &[symbol, path] :
         {std::pair{QStringLiteral("rectangle.lefthalf.inset.filled"), m_left},
          std::pair{QStringLiteral("rectangle.righthalf.inset.filled"), m_right}}) {
        auto *line = new QHBoxLayout;
        auto *icon = new QLabel(this);
        icon->setPixmap(Symbols::pixmap(symbol, int(ui.small()), palette().color(QPalette::PlaceholderText)));
        auto *label = new ElidedLabel(path, this);
        label->setToolTip(Qt::convertFromPlainText(path, Qt::WhiteSpaceNoWrap));
        label->setMinimumWidth(60);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        label->setFont(small);
        label->setForegroundRole(QPalette::PlaceholderText);
        line->addWidget(icon);
        line->addWidget(label, 1);
        paths->addLayout(line);
    }
    root->addLayout(paths);

    auto *modes = new QHBoxLayout;
    modes->setSpacing(0);
    m_modes = new QButtonGroup(this);
    for (SyncMode mode : SyncModes::allCases) {
        auto *b = new QPushButton(L(SyncModes::title(mode)), this);
        b->setCheckable(true);
        b->setChecked(mode == SyncMode::leftToRight);
        m_modes->addButton(b, int(mode));
        modes->addWidget(b);
    }
    modes->addStretch();
    root->addLayout(modes);

    m_deleteExtra =
        new QCheckBox(L("Was nur auf der Zielseite liegt, in den Papierkorb legen (Spiegeln)"), this);
    m_deleteExtra->setFont(small);
    root->addWidget(m_deleteExtra);
}

// The list of differences, with its busy and message faces.
void CompareSheet::buildBody(QVBoxLayout *root, const UIScale &ui) {
    const QFont small = smallFont(ui);
    m_model = new CompareRowsModel(this);
    m_content = new QStackedWidget(this);
    m_content->setMinimumHeight(200);
    auto *busy = new QWidget(m_content);
    auto *busyLine = new QHBoxLayout(busy);
    busyLine->addStretch();
    auto *bar = new QProgressBar(busy);
    bar->setRange(0, 0);
    bar->setMaximumWidth(80);
    busyLine->addWidget(bar);
    auto *busyText = new QLabel(L("Vergleiche …"), busy);
    busyText->setForegroundRole(QPalette::PlaceholderText);
    busyLine->addWidget(busyText);
    busyLine->addStretch();
    m_content->addWidget(busy);
    m_message = new QLabel(m_content);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setWordWrap(true);
    m_content->addWidget(m_message);
    m_table = new CompareTable(m_content);
    m_table->setModel(m_model);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setShowGrid(false);
    m_table->setFont(small);
    m_table->setTextElideMode(Qt::ElideMiddle);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(int(ui.row()));
    QHeaderView *h = m_table->horizontalHeader();
    h->setSectionResizeMode(CompareRowsModel::name, QHeaderView::Stretch);
    h->resizeSection(CompareRowsModel::check, 28);
    h->resizeSection(CompareRowsModel::leftInfo, 170);
    h->resizeSection(CompareRowsModel::action, 24);
    h->resizeSection(CompareRowsModel::rightInfo, 170);
    m_table->setStyleSheet(
        QStringLiteral("QTableView { border: 1px solid rgba(127,127,127,0.3); border-radius: 6px; }"));
    m_content->addWidget(m_table);
    root->addWidget(m_content, 1);
}

// Help, summary and the buttons; returns the close button for wire().
QPushButton *CompareSheet::buildFooter(QVBoxLayout *root, const UIScale &ui) {
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(new HelpButton(&m_app->requests(), 9, this));
    m_summary = new QLabel(this);
    QFont sf = font();
    sf.setPixelSize(int(ui.small()));
    m_summary->setFont(sf);
    m_summary->setForegroundRole(QPalette::PlaceholderText);
    bottom->addWidget(m_summary);
    bottom->addStretch();
    m_again = new QPushButton(L("Neu vergleichen"), this);
    m_again->setAutoDefault(false);
    auto *close = new QPushButton(L("Schließen"), this);
    close->setAutoDefault(false);
    m_sync = new QPushButton(L("Synchronisieren"), this);
    m_sync->setDefault(true);
    bottom->addWidget(m_again);
    bottom->addWidget(close);
    bottom->addWidget(m_sync);
    root->addLayout(bottom);

    return close;
}

void CompareSheet::wire(QPushButton *close) {
    connect(m_again, &QPushButton::clicked, this, &CompareSheet::scan);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_sync, &QPushButton::clicked, this, &CompareSheet::sync);
    const auto modeChanged = [this] {
        m_model->setMode(SyncMode(m_modes->checkedId()), m_deleteExtra->isChecked());
        update();
    };
    connect(m_modes, &QButtonGroup::idClicked, this, modeChanged);
    connect(m_deleteExtra, &QCheckBox::toggled, this, modeChanged);
    connect(m_model, &CompareRowsModel::stepsChanged, this, &CompareSheet::update);
}

CompareSheet::~CompareSheet() {
    if (m_cancel) m_cancel->setCancelled();
}

void CompareSheet::done(int result) {
    // A compare nobody will see stops now.
    if (m_cancel) m_cancel->setCancelled();
    QDialog::done(result);
}

void CompareSheet::scan() {
    if (m_cancel) m_cancel->setCancelled();
    m_cancel = std::make_shared<CancelFlag>();
    m_loading = true;
    m_model->clearOff();
    const int token = ++m_token;
    update();
    const CancelFlagPtr flag = m_cancel;
    whenDone(this, QtConcurrent::run([left = m_left, right = m_right, flag] {
                 return FolderCompare::scan(left, right, [flag] { return flag->cancelled(); });
             }),
             [this, token](const CompareResult &result) { applyResult(token, result); });
}

void CompareSheet::applyResult(int token, const CompareResult &result) {
    if (token != m_token || result.cancelled) return;
    m_loading = false;
    m_error = result.error;
    m_roots = {result.leftId, result.rightId};
    m_model->setRows(result.rows);
    fitInfoColumns();
    update();
}

// The two sides' columns as wide as their widest text, so no date is cut inside; the name takes the rest.
void CompareSheet::fitInfoColumns() {
    const QFontMetrics fm(m_table->font());
    int widest = 0;
    for (const CompareRow &row : m_model->rows())
        for (bool left : {true, false})
            widest = std::max(widest, fm.horizontalAdvance(CompareRowsModel::info(row, left)));
    // The item view's text margins on both sides, and a little air.
    const int margin =
        2 * (m_table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_table) + 1);
    const int width = std::max(120, widest + margin + 8);
    QHeaderView *h = m_table->horizontalHeader();
    h->resizeSection(CompareRowsModel::leftInfo, width);
    h->resizeSection(CompareRowsModel::rightInfo, width);
}

void CompareSheet::sync() {
    if (m_loading || !m_app) return;
    const QList<SyncStep> steps = m_model->steps();
    if (steps.isEmpty()) return;
    QPointer<CompareSheet> self(this);
    m_app->transfers().runSync(
        m_left, m_right, steps,
        [self] {
            if (self) self->scan();
        },
        m_roots, FolderCompare::leftOut(m_model->rows()));
}

QString CompareSheet::summary() const {
    if (m_loading) return {};
    const qsizetype rows = m_model->rows().size(), steps = m_model->steps().size();
    return LP("%d Unterschied|%d Unterschiede", rows, rows) + QStringLiteral(" · ") +
           LP("%d Schritt ausgewählt|%d Schritte ausgewählt", steps, steps);
}

void CompareSheet::update() {
    m_deleteExtra->setVisible(m_modes->checkedId() != int(SyncMode::both));
    if (m_loading) {
        m_content->setCurrentIndex(0);
    } else if (!m_error.isEmpty()) {
        m_message->setText(m_error);
        // Red through the palette: a style sheet would keep the label from the sheet's text size.
        QPalette red = m_message->palette();
        red.setColor(QPalette::WindowText, Qt::red);
        m_message->setPalette(red);
        m_message->setForegroundRole(QPalette::WindowText);
        m_content->setCurrentIndex(1);
    } else if (m_model->rows().isEmpty()) {
        m_message->setText(L("Die beiden Ordner sind gleich."));
        m_message->setPalette(QPalette());
        m_message->setForegroundRole(QPalette::PlaceholderText);
        m_content->setCurrentIndex(1);
    } else {
        m_content->setCurrentIndex(2);
    }
    m_summary->setText(summary());
    m_again->setEnabled(!m_loading);
    m_sync->setEnabled(!m_loading && !m_model->steps().isEmpty());
}
