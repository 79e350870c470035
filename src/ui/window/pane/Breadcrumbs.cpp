#include "ui/window/pane/Breadcrumbs.h"

#include "core/app/Clipboard.h"
#include "core/localisation/Lang.h"
#include "core/model/PaneModel.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/Symbols.h"
#include "ui/window/pane/PaneHeader.h"
#include "ui/window/pane/PlainLinkButton.h"

#include <cmath>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QTimer>

Breadcrumbs::Breadcrumbs(PaneModel *model, Clipboard &clipboard, QWidget *parent)
    : QScrollArea(parent), m_model(model), m_clipboard(&clipboard), m_row(new QWidget) {
    setFixedHeight(24);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidgetResizable(true);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    viewport()->setAutoFillBackground(false);
    auto *layout = new QHBoxLayout(m_row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    setWidget(m_row);
    m_row->setAutoFillBackground(false); // the header's tint shows through
    setAccessibleName(L("Pfad"));
    // A new trail or a new width shows the end again once laid out.
    connect(horizontalScrollBar(), &QScrollBar::rangeChanged, this,
            [this](int, int max) { horizontalScrollBar()->setValue(max); });
    if (m_model) {
        connect(m_model, &PaneModel::crumbsChanged, this, &Breadcrumbs::rebuild);
        connect(m_model, &PaneModel::currentPathChanged, this, &Breadcrumbs::scrollToEnd);
    }
    // Sizes and colours follow the window's scale, theme and light or dark from the start.
    EnvironmentValues::follow(this, [this] { rebuild(); });
}

void Breadcrumbs::clear() {
    auto *layout = static_cast<QHBoxLayout *>(m_row->layout());
    while (QLayoutItem *item = layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_buttons.clear();
    m_chevrons.clear();
    m_cut = nullptr;
    m_names.clear();
    m_lastName.clear();
}

void Breadcrumbs::rebuild() {
    clear();
    if (!m_model) return;
    const UIScale ui = EnvironmentValues::ui(this);
    setFixedHeight(qMax(24, int(std::lround(24 * ui.font / 13))));
    const QList<Crumb> &crumbs = m_model->crumbs();
    m_cut = new QLabel(QStringLiteral("…"), m_row);
    m_cut->setForegroundRole(QPalette::PlaceholderText);
    QFont cutFont = font();
    cutFont.setPixelSize(qMax(1, qRound(ui.font)));
    m_cut->setFont(cutFont);
    m_cut->hide();
    m_row->layout()->addWidget(m_cut);
    for (qsizetype i = 0; i < crumbs.size(); ++i)
        addCrumb(crumbs[i].first, crumbs[i].second, i == 0, i == crumbs.size() - 1);
    auto *layout = static_cast<QHBoxLayout *>(m_row->layout());
    auto *end = new QWidget(m_row);
    end->setFixedSize(1, 1);
    layout->addWidget(end);
    layout->addStretch(1);
    fitLast();
    updateGeometry();
    scrollToEnd();
}

void Breadcrumbs::addCrumb(const QString &path, const QString &name, bool first, bool last) {
    auto *layout = static_cast<QHBoxLayout *>(m_row->layout());
    QLabel *chevron = nullptr;
    if (!first) {
        QColor tertiary = palette().color(QPalette::WindowText);
        tertiary.setAlphaF(0.35f);
        chevron = new QLabel(m_row);
        chevron->setPixmap(
            Symbols::pixmap(QStringLiteral("chevron.right"), 8, tertiary, devicePixelRatioF()));
        layout->addWidget(chevron);
    }
    m_chevrons << chevron;
    m_names << name;
    auto *button = new PlainLinkButton(name, m_row);
    QFont f = font();
    f.setPixelSize(qMax(1, qRound(EnvironmentValues::ui(this).font)));
    f.setWeight(last ? QFont::DemiBold : QFont::Normal);
    button->setFont(f);
    QPalette pal = button->palette();
    pal.setColor(QPalette::WindowText,
                 last ? palette().color(QPalette::WindowText) : PaneHeader::secondaryColor(this));
    button->setPalette(pal);
    button->setFixedHeight(QFontMetrics(f).height() + 4);
    connect(button, &QAbstractButton::clicked, this, [this, path] {
        if (m_model) m_model->go(path, true);
    });
    offerCopy(button, path);
    // Files dropped onto a crumb go into its folder, as onto a folder row.
    button->setDropTarget([model = m_model, path] {
        FolderDropTarget t;
        if (!model) return t;
        t.destination = path;
        t.perform = [model, path](const QMimeData *data, bool copy) {
            return model && model->handleDrop(data, path, copy);
        };
        return t;
    });
    connect(button, &PlainLinkButton::dropped, this, &Breadcrumbs::dropped);
    layout->addWidget(button);
    m_buttons << button;
    if (last) m_lastName = name;
}

void Breadcrumbs::offerCopy(PlainLinkButton *button, const QString &path) {
    button->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(button, &QWidget::customContextMenuRequested, button, [this, button, path](const QPoint &pos) {
        QMenu menu(button);
        menu.setAccessibleName(L("Pfad kopieren"));
        QAction *copy = menu.addAction(Symbols::icon(QStringLiteral("link")), L("Pfad kopieren"));
        connect(copy, &QAction::triggered, this, [this, path] {
            if (m_clipboard) m_clipboard->copyPath({path});
        });
        menu.exec(button->mapToGlobal(pos));
    });
}

int Breadcrumbs::fullWidthOfLast() const {
    if (m_buttons.isEmpty()) return 0;
    return QFontMetrics(m_buttons.last()->font()).horizontalAdvance(m_lastName) + 2 * LinkButtonStyle::padX;
}

void Breadcrumbs::fitLast() {
    if (m_buttons.isEmpty()) return;
    PlainLinkButton *last = m_buttons.last();
    const QFontMetrics fm(last->font());
    // (the spacing and the end mark after it)
    const int room = viewport()->width() - 3 - 2 * LinkButtonStyle::padX;
    const QString text =
        fullWidthOfLast() <= room + 2 * LinkButtonStyle::padX
            ? m_lastName
            : fm.elidedText(m_lastName, Qt::ElideMiddle, qMax(room, fm.averageCharWidth() * 3));
    last->setAccessibleName(m_lastName);
    const bool same = text == last->plainText();
    if (!same) {
        last->setPlainText(text);
        last->setAccessibleName(m_lastName);
    }
    fitEarlier();
    if (same) return;
    // Laid out at once, so the end is in view in this very resize.
    m_row->layout()->activate();
    m_row->resize(qMax(viewport()->width(), m_row->minimumSizeHint().width()), m_row->height());
    horizontalScrollBar()->setValue(horizontalScrollBar()->maximum());
}

void Breadcrumbs::fitEarlier() {
    const int spacing = m_row->layout()->spacing();
    // (the end mark and the spacing before it)
    int room = viewport()->width() - 1 - spacing - m_buttons.last()->sizeHint().width();
    int whole = 0;
    for (qsizetype i = m_buttons.size() - 2; i >= 0; --i)
        whole += m_chevrons[i + 1]->sizeHint().width() + 2 * spacing +
                 QFontMetrics(m_buttons[i]->font()).horizontalAdvance(m_names[i]) + 2 * LinkButtonStyle::padX;
    // A trail that steps out at its start keeps room for the mark and the chevron after it.
    if (whole > room && m_cut && m_buttons.size() > 1)
        room -= m_cut->sizeHint().width() + m_chevrons.last()->sizeHint().width() + 2 * spacing;
    for (qsizetype i = m_buttons.size() - 2; i >= 0; --i) {
        PlainLinkButton *button = m_buttons[i];
        QWidget *after = m_chevrons[i + 1];
        room -= after->sizeHint().width() + 2 * spacing;
        const QFontMetrics fm(button->font());
        const int full = fm.horizontalAdvance(m_names[i]) + 2 * LinkButtonStyle::padX;
        const int least = fm.horizontalAdvance(QStringLiteral("…")) + 2 * LinkButtonStyle::padX;
        after->setVisible(room >= 0);
        QString text = m_names[i];
        if (full > room)
            text = room >= least ? fm.elidedText(m_names[i], Qt::ElideRight, room - 2 * LinkButtonStyle::padX)
                                 : QString();
        button->setVisible(!text.isEmpty());
        if (text != button->plainText() && !text.isEmpty()) button->setPlainText(text);
        button->setAccessibleName(m_names[i]);
        room -= text.isEmpty() ? room : qMax(full > room ? room : full, 0);
    }
    markCut();
}

void Breadcrumbs::markCut() {
    if (!m_cut) return;
    qsizetype first = 0;
    while (first < m_buttons.size() - 1 && m_buttons[first]->isHidden())
        ++first;
    // A first crumb that ends in "…" marks the cut itself; a chevron never leads from nothing.
    const bool mark = first > 0 && !m_buttons[first]->plainText().endsWith(u'…');
    if (first > 0) m_chevrons[first]->setVisible(mark);
    m_cut->setVisible(mark);
}

QSize Breadcrumbs::minimumSizeHint() const {
    // The current folder stays in view: the header gives the last crumb its room before any other,
    // up to a limit, past which a long name is cut.
    const int cap = int(std::lround(EnvironmentValues::ui(this).font * 6));
    return {qMin(wholeNameWidth(), cap), QScrollArea::minimumSizeHint().height()};
}

int Breadcrumbs::wholeNameWidth() const {
    // (the spacing and the end mark after it included)
    return fullWidthOfLast() + 3;
}

void Breadcrumbs::resizeEvent(QResizeEvent *event) {
    QScrollArea::resizeEvent(event);
    fitLast();
    horizontalScrollBar()->setValue(horizontalScrollBar()->maximum());
}

void Breadcrumbs::scrollToEnd() {
    // After the new trail has been laid out.
    QTimer::singleShot(0, this,
                       [this] { horizontalScrollBar()->setValue(horizontalScrollBar()->maximum()); });
}

void Breadcrumbs::showEvent(QShowEvent *event) {
    QScrollArea::showEvent(event);
    scrollToEnd();
}
