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
        if (!m_settling) m_atEnd = bar->value() == bar->maximum();
        settleSoon();
    });
    // A path shown to its end stays so while the room changes (the mark itself takes some).
    connect(bar, &QScrollBar::rangeChanged, this, &PathBar::settleSoon);
    m_scroll->viewport()->installEventFilter(this);
}

bool PathBar::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize) settleSoon();
    return QWidget::eventFilter(watched, event);
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

void PathBar::settleSoon() {
    if (m_settleQueued) return;
    m_settleQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_settleQueued = false;
        settle();
    });
}

void PathBar::settle() {
    QScrollBar *bar = m_scroll->horizontalScrollBar();
    // Worked out from the widths, not from the scroller's range, which can lag behind a change of room;
    // without the room made up behind the path below.
    const int pad = m_path->contentsMargins().right();
    const int path = m_path->sizeHint().width() - pad;
    const int room = m_scroll->viewport()->width();
    const int markRoom = m_cut->isHidden() ? 0 : m_cut->width() + layout()->spacing();
    // The mark only while the start is out of sight: a path that fits once the mark is gone shows whole.
    const bool cut = path > room + markRoom && (m_atEnd || bar->value() > 0);
    if (m_cut->isHidden() == cut) {
        m_cut->setVisible(cut); // the room changes, and this comes again
        return;
    }
    if (!m_atEnd) return;
    // The first character in sight is whole: the path starts at a character's edge, and the room that
    // leaves after its end is made up behind it.
    const int end = cutAtCharacter(m_path->text(), m_path->font(), qMax(0, path - room));
    const int behind = end > 0 ? end + room - path : 0;
    if (behind != pad) {
        m_path->setContentsMargins(0, 0, behind, 0);
        settleSoon();
        return;
    }
    m_settling = true;
    if (bar->maximum() != end) bar->setRange(0, end);
    bar->setValue(end);
    m_settling = false;
}

int PathBar::cutAtCharacter(const QString &text, const QFont &font, int least) {
    if (least <= 0) return 0;
    const QFontMetrics fm(font);
    // The shortest start at least that wide, never inside a surrogate pair.
    qsizetype low = 0, high = text.size();
    while (low < high) {
        const qsizetype mid = (low + high) / 2;
        if (fm.horizontalAdvance(text.left(mid)) >= least)
            high = mid;
        else
            low = mid + 1;
    }
    if (low > 0 && low < text.size() && text[low].isLowSurrogate()) ++low;
    return fm.horizontalAdvance(text.left(low));
}

void PathBar::scrollToEnd() {
    m_atEnd = true;
    settleSoon();
}

void PathBar::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    scrollToEnd();
}

void PathBar::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
}
