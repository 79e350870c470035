#include "ui/window/ActionBar.h"

#include "core/app/AppState.h"
#include "core/localisation/Lang.h"
#include "core/model/PaneModel.h"
#include "core/model/Tags.h"
#include "ui/style/ButtonStyles.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/Symbols.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QToolButton>

namespace {

// A bar button with a symbol before or after its title.
class LabelButton : public BarButton {
public:
    LabelButton(const char *key, const char *symbol, bool trailing, bool prominent, QWidget *parent)
        : BarButton(QString::fromUtf8(key), prominent, parent), m_symbol(QString::fromLatin1(symbol)),
          m_trailing(trailing) {}

    QSize sizeHint() const override {
        const QSize base = BarButton::sizeHint();
        return {base.width() + iconSize() + 5, base.height()};
    }

protected:
    void paintLabel(QPainter &painter, const QRectF &rect, const QColor &foreground) override {
        const int icon = iconSize();
        const QString text = L(key());
        painter.setFont(BarButtonStyle::font(ui()));
        const double textWidth = painter.fontMetrics().horizontalAdvance(text);
        const double total = textWidth + 5 + icon;
        double x = rect.center().x() - total / 2;
        const QPixmap pix = Symbols::pixmap(m_symbol, icon, foreground, devicePixelRatioF());
        const double iconY = rect.center().y() - icon / 2.0;
        if (!m_trailing) {
            painter.drawPixmap(QPointF(x, iconY), pix);
            x += icon + 5;
        }
        painter.setPen(foreground);
        painter.drawText(QRectF(x, rect.top(), textWidth + 1, rect.height()),
                         Qt::AlignVCenter | Qt::AlignLeft, text);
        if (m_trailing) painter.drawPixmap(QPointF(x + textWidth + 5, iconY), pix);
    }

private:
    int iconSize() const { return int(std::lround(ui().small())); }
    QString m_symbol;
    bool m_trailing;
};

} // namespace

ActionBar::ActionBar(AppState *app, QWidget *parent) : QWidget(parent), m_app(app) {
    setFixedHeight(34);
    setAccessibleName(L("Aktionsleiste"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(10, 0, 10, 0);
    row->setSpacing(6);
    row->addStretch(1);

    auto bar = [this](const char *key, const char *symbol, bool trailing, bool prominent, const char *tip) {
        auto *b = new LabelButton(key, symbol, trailing, prominent, this);
        if (tip) b->setToolTip(L(tip));
        b->setAccessibleName(tip ? L(tip) : L(key));
        return b;
    };
    auto icon = [this](const char *symbol, const char *tip) {
        auto *b = new IconButton(QString::fromLatin1(symbol), false, 12, this);
        b->setHelpKey(QString::fromUtf8(tip));
        return b;
    };

    m_copyToLeft =
        bar(K("Kopieren"), "arrow.left", false, true, K("Auswahl rechts in den linken Ordner kopieren"));
    m_copyToRight =
        bar(K("Kopieren"), "arrow.right", true, true, K("Auswahl links in den rechten Ordner kopieren"));
    QWidget *sep1 = separator();
    m_moveToLeft = bar(K("Verschieben"), "arrow.left", false, false,
                       K("Auswahl rechts in den linken Ordner verschieben"));
    m_moveToRight = bar(K("Verschieben"), "arrow.right", true, false,
                        K("Auswahl links in den rechten Ordner verschieben"));
    QWidget *sep2 = separator();
    m_transferGroup = {m_copyToLeft, m_copyToRight, sep1, m_moveToLeft, m_moveToRight, sep2};
    connect(m_copyToLeft, &QAbstractButton::clicked, this,
            [this] { m_app->transferSelection(Side::right, false); });
    connect(m_copyToRight, &QAbstractButton::clicked, this,
            [this] { m_app->transferSelection(Side::left, false); });
    connect(m_moveToLeft, &QAbstractButton::clicked, this,
            [this] { m_app->transferSelection(Side::right, true); });
    connect(m_moveToRight, &QAbstractButton::clicked, this,
            [this] { m_app->transferSelection(Side::left, true); });

    auto *newFolder = bar(K("Neuer Ordner"), "folder.badge.plus", false, false, nullptr);
    connect(newFolder, &QAbstractButton::clicked, this, [this] { m_app->newFolder(std::nullopt); });
    m_rename = bar(K("Umbenennen"), "pencil", false, false, nullptr);
    connect(m_rename, &QAbstractButton::clicked, this, [this] { m_app->renameSelection(); });
    QWidget *sep3 = separator();

    auto selected = [this] { return m_app->activePane()->selectedPaths(); };
    m_copy = icon("doc.on.doc", K("Kopieren (⌘C)"));
    connect(m_copy, &QAbstractButton::clicked, this,
            [this, selected] { m_app->copyToClipboard(selected()); });
    m_cut = icon("scissors", K("Ausschneiden (⌘X)"));
    connect(m_cut, &QAbstractButton::clicked, this, [this, selected] { m_app->cutToClipboard(selected()); });
    auto *paste = icon("doc.on.clipboard", K("Einsetzen (⌘V)"));
    connect(paste, &QAbstractButton::clicked, this,
            [this] { m_app->paste(m_app->activePane()->targetFolder()); });
    m_share = icon("square.and.arrow.up", K("Teilen"));
    connect(m_share, &QAbstractButton::clicked, this, [this, selected] { m_app->share(selected()); });

    m_tags = new QToolButton(this);
    m_tags->setAutoRaise(true);
    m_tags->setPopupMode(QToolButton::InstantPopup);
    m_tags->setFixedSize(26, 24);
    m_tags->setIcon(Symbols::icon(QStringLiteral("tag")));
    m_tags->setIconSize(QSize(12, 12));
    m_tags->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
    m_tags->setToolTip(L("Tags"));
    m_tags->setAccessibleName(L("Tags"));
    auto *menu = new QMenu(m_tags);
    for (const QString &name : FileOps::tagChoices()) {
        // The stored tag name stays German; only the title is translated.
        QAction *a = menu->addAction(L(name));
        connect(a, &QAction::triggered, this, [this, name, selected] { m_app->toggleTag(name, selected()); });
    }
    menu->addSeparator();
    connect(menu->addAction(L("Tags entfernen")), &QAction::triggered, this,
            [this, selected] { m_app->clearTags(selected()); });
    m_tags->setMenu(menu);

    m_info = icon("info.circle", K("Informationen"));
    connect(m_info, &QAbstractButton::clicked, this, [this, selected] { m_app->showInfo(selected()); });

    for (QWidget *w : m_transferGroup)
        row->addWidget(w);
    for (QWidget *w : std::initializer_list<QWidget *>{newFolder, m_rename, sep3, m_copy, m_cut, paste,
                                                       m_share, m_tags, m_info})
        row->addWidget(w);
    row->addStretch(1);

    if (m_app) connect(m_app, &AppState::changed, this, &ActionBar::sync);
    sync();
}

QWidget *ActionBar::separator() {
    auto *holder = new QWidget(this);
    holder->setFixedSize(5, 16);
    auto *line = new QFrame(holder);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Plain);
    line->setGeometry(2, 0, 1, 16);
    return holder;
}

void ActionBar::sync() {
    if (!m_app) return;
    const bool dual = m_app->dualPane();
    for (QWidget *w : m_transferGroup)
        w->setVisible(dual);
    const bool rightEmpty = m_app->right()->selection().isEmpty();
    const bool leftEmpty = m_app->left()->selection().isEmpty();
    m_copyToLeft->setEnabled(!rightEmpty);
    m_moveToLeft->setEnabled(!rightEmpty);
    m_copyToRight->setEnabled(!leftEmpty);
    m_moveToRight->setEnabled(!leftEmpty);
    const bool activeEmpty = m_app->activePane()->selection().isEmpty();
    for (QWidget *w : std::initializer_list<QWidget *>{m_rename, m_copy, m_cut, m_share, m_tags, m_info})
        w->setEnabled(!activeEmpty);
}

QSize ActionBar::sizeHint() const {
    return {QWidget::sizeHint().width(), 34};
}

void ActionBar::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window).darker(103));
}
