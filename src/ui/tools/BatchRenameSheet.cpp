#include "ui/tools/BatchRenameSheet.h"

#include "core/app/AppState.h"
#include "core/app/JobRunner.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "platform/Posix.h"
#include "ui/help/HelpButton.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/ScreenFit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// A stepper whose label is a key with one "%d": the text around the number becomes prefix and suffix.
QSpinBox *stepper(const char *key, int min, int max, QWidget *parent) {
    auto *box = new QSpinBox(parent);
    box->setRange(min, max);
    const QString text = L(key);
    const qsizetype at = text.indexOf(QLatin1String("%d"));
    box->setPrefix(text.left(at));
    box->setSuffix(text.mid(at + 2));
    return box;
}

QLabel *secondary(const QString &text, QWidget *parent) {
    auto *label = new QLabel(text, parent);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

} // namespace

BatchRenameSheet::BatchRenameSheet(AppState *app, QStringList paths, QWidget *parent)
    : QDialog(parent), m_app(app), m_paths(std::move(paths)) {
    setObjectName(QStringLiteral("BatchRenameSheet"));
    const UIScale ui = EnvironmentValues::ui(parent);
    setWindowTitle(LF("%@ Objekte umbenennen", m_paths.size()));
    resize(ScreenFit::width(640), ScreenFit::height(640));

    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(20, 20, 20, 20);
    root->setSpacing(14);
    auto *title = new QLabel(LF("%@ Objekte umbenennen", m_paths.size()), this);
    QFont tf = title->font();
    tf.setPixelSize(int(ui.font + 3));
    tf.setWeight(QFont::DemiBold);
    title->setFont(tf);
    root->addWidget(title);
    buildForm(root, ui);
    buildPreview(root, ui);
    QPushButton *cancel = buildFooter(root, ui);

    setSettings(BatchRename::Settings());
    wire(cancel);
}

// Pattern, find and replace, counter and letter case.
void BatchRenameSheet::buildForm(QVBoxLayout *root, const UIScale &ui) {
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    m_pattern = new QLineEdit(this);
    m_pattern->setPlaceholderText(QStringLiteral("[N]"));
    m_pattern->setAccessibleName(L("Muster"));
    grid->addWidget(secondary(L("Muster"), this), 0, 0);
    grid->addWidget(m_pattern, 0, 1);
    auto *tokens =
        secondary(L("[N] Name  ·  [Z] Zähler  ·  [D] Datum  ·  [U] Uhrzeit (aus dem Änderungsdatum)"), this);
    QFont small = font();
    small.setPixelSize(int(ui.small()));
    tokens->setFont(small);
    grid->addWidget(secondary(QString(), this), 1, 0);
    grid->addWidget(tokens, 1, 1);

    // Fields and boxes side by side, and the word between two fields, keep a clear gap at every size.
    const int gap = int(std::lround(ui.font * 0.6));
    auto *findRow = new QHBoxLayout;
    findRow->setSpacing(gap);
    m_find = new QLineEdit(this);
    m_find->setPlaceholderText(L("Text im Namen"));
    m_replace = new QLineEdit(this);
    m_replace->setPlaceholderText(L("Ersatz"));
    // A placeholder is no name to assistive technology.
    m_find->setAccessibleName(L("Text im Namen"));
    m_replace->setAccessibleName(L("Ersatz"));
    findRow->addWidget(m_find);
    findRow->addWidget(secondary(L("durch"), this));
    findRow->addWidget(m_replace);
    grid->addWidget(secondary(L("Suchen"), this), 2, 0);
    grid->addLayout(findRow, 2, 1);

    auto *counter = new QHBoxLayout;
    counter->setSpacing(gap);
    m_start = stepper(K("Start: %d"), 0, 99999, this);
    m_digits = stepper(K("Stellen: %d"), 1, 6, this);
    // The row's title stands beside the boxes and names neither of them.
    m_start->setAccessibleName(L("Zähler: Start"));
    m_digits->setAccessibleName(L("Zähler: Stellen"));
    counter->addWidget(m_start);
    counter->addWidget(m_digits);
    counter->addStretch();
    grid->addWidget(secondary(L("Zähler"), this), 3, 0);
    grid->addLayout(counter, 3, 1);

    auto *caseRow = new QHBoxLayout;
    caseRow->setSpacing(gap);
    m_case = new QComboBox(this);
    for (const char *key : BatchRename::caseModes)
        m_case->addItem(L(key));
    // Wide enough for its longest choice at the text size.
    m_case->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_case->setMinimumWidth(200);
    m_keep = new QCheckBox(L("Endung beibehalten"), this);
    caseRow->addWidget(m_case);
    caseRow->addWidget(m_keep);
    caseRow->addStretch();
    grid->addWidget(secondary(L("Schreibweise"), this), 4, 0);
    grid->addLayout(caseRow, 4, 1);
    root->addLayout(grid);
}

void BatchRenameSheet::buildPreview(QVBoxLayout *root, const UIScale &ui) {
    auto *heading = new QLabel(L("Vorschau"), this);
    QFont hf = heading->font();
    hf.setPixelSize(int(ui.font));
    hf.setWeight(QFont::DemiBold);
    heading->setFont(hf);
    root->addWidget(heading);

    m_preview = new QTreeWidget(this);
    m_preview->setColumnCount(4);
    m_preview->setHeaderHidden(true);
    m_preview->setRootIsDecorated(false);
    m_preview->setSelectionMode(QAbstractItemView::NoSelection);
    m_preview->setTextElideMode(Qt::ElideMiddle);
    m_preview->setMinimumHeight(180);
    QFont pf = font();
    pf.setPixelSize(int(ui.small() + 0.5));
    m_preview->setFont(pf);
    m_preview->header()->setStretchLastSection(false);
    m_preview->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_preview->header()->setSectionResizeMode(1, QHeaderView::Fixed);
    m_preview->header()->resizeSection(1, 20);
    m_preview->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    m_preview->header()->setSectionResizeMode(3, QHeaderView::ResizeToContents);
    m_preview->setStyleSheet(
        QStringLiteral("QTreeWidget { border: 1px solid rgba(127,127,127,0.3); border-radius: 6px; }"));
    root->addWidget(m_preview, 1);
}

// Help, status and the buttons; returns the cancel button for wire().
QPushButton *BatchRenameSheet::buildFooter(QVBoxLayout *root, const UIScale &ui) {
    QFont small = font();
    small.setPixelSize(int(ui.small()));
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(new HelpButton(&m_app->requests(), 4, this));
    m_status = new QLabel(this);
    m_status->setFont(small);
    bottom->addWidget(m_status);
    bottom->addStretch();
    auto *cancel = new QPushButton(L("Abbrechen"), this);
    cancel->setAutoDefault(false);
    m_rename = new QPushButton(L("Umbenennen"), this);
    m_rename->setDefault(true);
    bottom->addWidget(cancel);
    bottom->addWidget(m_rename);
    root->addLayout(bottom);

    return cancel;
}

void BatchRenameSheet::wire(QPushButton *cancel) {
    const auto edited = [this] {
        m_settings.pattern = m_pattern->text();
        m_settings.find = m_find->text();
        m_settings.replace = m_replace->text();
        m_settings.start = m_start->value();
        m_settings.digits = m_digits->value();
        m_settings.caseMode = m_case->currentIndex();
        m_settings.keepExtension = m_keep->isChecked();
        recompute();
    };
    for (QLineEdit *e : {m_pattern, m_find, m_replace})
        connect(e, &QLineEdit::textChanged, this, edited);
    for (QSpinBox *s : {m_start, m_digits})
        connect(s, &QSpinBox::valueChanged, this, edited);
    connect(m_case, &QComboBox::currentIndexChanged, this, edited);
    connect(m_keep, &QCheckBox::toggled, this, edited);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_rename, &QPushButton::clicked, this, &BatchRenameSheet::rename);
}

void BatchRenameSheet::setSettings(const BatchRename::Settings &s) {
    const QSignalBlocker b1(m_pattern), b2(m_find), b3(m_replace), b4(m_start), b5(m_digits), b6(m_case),
        b7(m_keep);
    m_settings = s;
    m_pattern->setText(s.pattern);
    m_find->setText(s.find);
    m_replace->setText(s.replace);
    m_start->setValue(s.start);
    m_digits->setValue(s.digits);
    m_case->setCurrentIndex(s.caseMode);
    m_keep->setChecked(s.keepExtension);
    recompute();
}

bool BatchRenameSheet::canRename() const {
    bool changed = false;
    for (const BatchRename::Row &row : m_rows) {
        if (row.problem) return false;
        changed = changed || row.changed();
    }
    return changed;
}

QString BatchRenameSheet::status() const {
    qsizetype changed = 0;
    for (const BatchRename::Row &row : m_rows) {
        if (row.problem) return L("Bitte zuerst die rot markierten Namen beheben.");
        if (row.changed()) ++changed;
    }
    return LF("%d von %d Namen ändern sich.", changed, m_rows.size());
}

void BatchRenameSheet::recompute() {
    m_rows = BatchRename::rows(m_settings, m_paths);
    m_preview->clear();
    bool problem = false;
    const QColor secondaryColor = palette().color(QPalette::PlaceholderText);
    for (const BatchRename::Row &row : m_rows) {
        auto *item = new QTreeWidgetItem(m_preview);
        item->setText(0, row.old);
        item->setForeground(0, secondaryColor);
        item->setText(1, QStringLiteral("→"));
        item->setForeground(1, secondaryColor);
        item->setText(2, row.newName);
        item->setToolTip(0, row.old);
        item->setToolTip(2, row.newName);
        if (row.problem) {
            problem = true;
            item->setForeground(2, Qt::red);
            item->setText(3, *row.problem);
            item->setForeground(3, Qt::red);
        } else if (!row.changed()) {
            item->setForeground(2, secondaryColor);
        }
    }
    m_status->setText(status());
    m_status->setStyleSheet(problem ? QStringLiteral("color: red;") : QString());
    m_rename->setEnabled(canRename());
}

void BatchRenameSheet::rename() {
    if (!canRename()) return;
    // The rows of this drawing, exactly what the user saw.
    if (apply(m_app, m_rows)) accept();
}

bool BatchRenameSheet::apply(AppState *app, const QList<BatchRename::Row> &rows,
                             std::function<void()> finished) {
    if (!app) return false;
    QList<TransferPair> pairs;
    // Each item as the pane lists it: one swapped since is refused, not renamed.
    QList<ShownItem> shown;
    for (const BatchRename::Row &row : rows)
        if (row.changed()) {
            pairs << TransferPair{row.id, Posix::childPath(Posix::parentOf(row.id), row.newName)};
            shown << app->sides().shown(row.id);
        }
    if (pairs.isEmpty()) return false;
    QPointer<AppState> self(app);
    QPointer<PaneModel> pane(app->activePane());
    return app->jobs().run(
        K("Benenne um"),
        [pairs, shown](TransferProgress &progress) {
            return FileOps::renameInTwoPhases(pairs, &progress, {}, shown);
        },
        [self, pane, finished](const FileOps::TwoPhaseReport &report) {
            if (self) finish(self, pane, report);
            if (finished) finished();
        });
}

void BatchRenameSheet::finish(AppState *app, QPointer<PaneModel> pane,
                              const FileOps::TwoPhaseReport &report) {
    if (pane) {
        pane->refresh();
        QTimer::singleShot(app->services().timings.renameRefreshMs, pane, [pane] {
            if (pane) pane->refresh();
        });
        QSet<QString> selected;
        for (const TransferPair &p : report.done)
            selected.insert(FileLoader::norm(p.to));
        pane->setSelection(selected);
    }
    const qsizetype n = report.done.size();
    if (n > 0)
        app->undoJournal().record([n] { return LF("%@ umbenannt", FileFmt::count(n)); },
                                  UndoAction::makeRenamed(report));
    // Items a leading dot now hides leave the listing: said, with the way to see them again.
    bool hidden = false;
    for (const TransferPair &p : report.done)
        hidden |= RenameCommands::hides(Posix::lastComponent(p.from), Posix::lastComponent(p.to));
    const QString hint = hidden ? u' ' + L("Namen mit Punkt am Anfang sind unsichtbar; „Unsichtbare Dateien "
                                           "anzeigen“ (Strg+H) zeigt sie wieder.")
                                : QString();
    if (report.cancelled) {
        // What was done before the cancel is said with it.
        QString text = LF("Abgebrochen. %@ umbenannt.", FileFmt::count(n));
        if (!report.errors.isEmpty()) text += u' ' + FileOps::errorSummary(report.errors, report.whereabouts);
        app->show(text + hint, !report.errors.isEmpty());
    } else if (!report.errors.isEmpty()) {
        app->show(FileOps::errorSummary(report.errors, report.whereabouts) + hint, true);
    } else {
        app->show(LF("%@ umbenannt.", FileFmt::count(n)) + hint);
    }
}
