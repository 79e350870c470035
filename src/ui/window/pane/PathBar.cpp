#include "ui/window/pane/PathBar.h"

#include "core/app/Clipboard.h"
#include "core/localisation/Lang.h"
#include "core/model/PaneModel.h"
#include "ui/style/ButtonStyles.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/Symbols.h"

#include <cmath>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

PathBar::PathBar(PaneModel *model, Clipboard &clipboard, QWidget *parent)
    : QWidget(parent), m_model(model), m_clipboard(&clipboard) {
    setFixedHeight(26);
    setAccessibleName(L("Pfadleiste"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(8, 0, 8, 0);
    row->setSpacing(6);
    auto *folder = new QLabel(this);
    row->addWidget(folder);
    addPath(row);
    addCopyButton(row);
    // Size and colours follow the window's scale and light or dark.
    EnvironmentValues::follow(this, [this, folder] { followLooks(folder); });

    if (m_model) {
        connect(m_model, &PaneModel::selectionChanged, this, &PathBar::refresh);
        connect(m_model, &PaneModel::currentPathChanged, this, &PathBar::refresh);
    }
    refresh();
}

void PathBar::addPath(QHBoxLayout *row) {
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidgetResizable(true);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_path = new QLabel;
    m_path->setTextFormat(Qt::PlainText);
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_path->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
    m_scroll->setWidget(m_path);
    m_path->setAutoFillBackground(false);
    // A path whose start is scrolled away reads like another path: the cut is marked.
    m_cut = new QLabel(QStringLiteral("…"), this);
    m_cut->hide();
    // Never squeezed away in a narrow pane: the path gives up the room instead.
    m_cut->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    m_scroll->setMinimumWidth(1);
    row->addWidget(m_cut);
    row->addWidget(m_scroll, 1);
    QScrollBar *bar = m_scroll->horizontalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar] {
        m_atEnd = bar->value() == bar->maximum();
        markCut();
    });
    // A path shown to its end stays so while the room changes (the mark itself takes some).
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar] {
        if (m_atEnd) bar->setValue(bar->maximum());
        markCut();
    });
}

void PathBar::addCopyButton(QHBoxLayout *row) {
    m_copy = new IconButton(QStringLiteral("doc.on.doc"), false, 12, this);
    m_copy->setHelpKey(K("Vollständigen Pfad kopieren (⌥⌘C)"));
    m_copy->setFocusPolicy(Qt::NoFocus);
    connect(m_copy, &QAbstractButton::clicked, this, [this] {
        if (m_clipboard) m_clipboard->copyPath({m_shown});
    });
    row->addWidget(m_copy);
}

void PathBar::followLooks(QLabel *folder) {
    const UIScale ui = EnvironmentValues::ui(this);
    setFixedHeight(qMax(26, int(std::lround(26 * ui.font / 13))));
    QColor secondary = palette().color(QPalette::WindowText);
    secondary.setAlphaF(0.6f);
    folder->setPixmap(Symbols::pixmap(QStringLiteral("folder"), 12, secondary, devicePixelRatioF()));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(qMax(1, qRound(ui.small())));
    m_path->setFont(mono);
    m_cut->setFont(mono);
    m_cut->setFixedWidth(m_cut->sizeHint().width());
}

QString PathBar::shownPath(const PaneModel &model) {
    return model.selection().size() == 1 ? *model.selection().begin() : model.currentPath();
}

void PathBar::refresh() {
    if (!m_model) return;
    const QString shown = shownPath(*m_model);
    if (shown == m_shown) return;
    m_shown = shown;
    m_path->setText(shown);
    m_path->setAccessibleName(shown);
    scrollToEnd();
}

void PathBar::markCut() {
    const QScrollBar *bar = m_scroll->horizontalScrollBar();
    m_cut->setVisible(bar->value() > bar->minimum());
}

void PathBar::scrollToEnd() {
    QTimer::singleShot(0, this, [this] {
        m_atEnd = true;
        m_scroll->horizontalScrollBar()->setValue(m_scroll->horizontalScrollBar()->maximum());
        // Already at the end sends no change: the mark follows all the same.
        markCut();
    });
}

void PathBar::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    scrollToEnd();
}

void PathBar::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
}
