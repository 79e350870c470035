#include "ui/settings/SettingsParts.h"

#include "core/app/SettingsCommands.h"
#include "core/localisation/Lang.h"
#include "ui/help/HelpButton.h"
#include "ui/settings/SettingsParts.h"
#include "ui/style/FocusFrame.h"
#include "ui/style/EnvironmentValues.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// The manual's chapter on the settings.
constexpr int settingsChapter = 11;

QFont sized(const QWidget *w, double px, bool bold = false) {
    QFont f = w->font();
    f.setPixelSize(int(std::lround(px)));
    f.setBold(bold);
    return f;
}
} // namespace

ChoiceChip::ChoiceChip(const QString &key, std::function<bool()> selected, std::function<void()> action,
                       QWidget *parent)
    : QAbstractButton(parent), m_key(key), m_isSelected(std::move(selected)) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
    EnvironmentValues::follow(this, [this] {
        setText(L(m_key));
        setAccessibleName(text());
        setAccessibleDescription(m_selected ? L("ausgewählt") : QString());
        updateGeometry();
        update();
    });
    refresh();
}

void ChoiceChip::refresh() {
    const bool now = m_isSelected && m_isSelected();
    if (now == m_selected) return;
    m_selected = now;
    setAccessibleDescription(now ? L("ausgewählt") : QString());
    update();
}

QSize ChoiceChip::sizeHint() const {
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(text()) + 24 + 2, fm.height() + 10};
}

void ChoiceChip::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath capsule;
    capsule.addRoundedRect(r, r.height() / 2, r.height() / 2);
    const AppTheme theme = EnvironmentValues::appTheme(this);
    QColor textColor = palette().color(QPalette::WindowText);
    const QColor window = palette().color(QPalette::Window);
    QColor ring = theme.onAccent();
    if (m_selected) {
        p.fillPath(capsule, theme.gradient(r));
        textColor = theme.onAccent();
    } else {
        QColor fill = textColor;
        fill.setAlphaF(isDown() ? 0.16f : underMouse() ? 0.12f : 0.08f);
        p.fillPath(capsule, fill);
        // The style's faint frame hardly shows on the grey chip: a ring in the accent colour, made strong
        // enough against both the chip and the page.
        ring = AppTheme::readableOn(theme.readable(AppTheme::schemeOf(palette()), 3),
                                    {AppTheme::over(fill, window), window}, 3);
    }
    p.setPen(textColor);
    p.setFont(font());
    p.drawText(rect(), Qt::AlignCenter, text());
    if (FocusFrame::shows(this)) {
        // Inside the capsule's edge; on the accent fill a little further in, so the fill rims it.
        const double in = m_selected ? 2.5 : 1;
        const QRectF around = QRectF(rect()).adjusted(in, in, -in, -in);
        p.setPen(QPen(ring, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(around, around.height() / 2, around.height() / 2);
    }
}

SettingsBlock::SettingsBlock(const char *title, const char *hint, QWidget *parent) : QWidget(parent) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    auto *heading = new QLabel(this);
    heading->setObjectName(QStringLiteral("blockTitle"));
    heading->setWordWrap(true);
    layout->addWidget(heading);
    m_content = new QVBoxLayout;
    m_content->setSpacing(8);
    layout->addLayout(m_content);
    if (hint) {
        m_hint = new QLabel(this);
        m_hint->setWordWrap(true);
        m_hint->setObjectName(QStringLiteral("blockHint"));
        m_hint->setForegroundRole(QPalette::PlaceholderText);
        m_hint->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
        layout->addWidget(m_hint);
    }
    EnvironmentValues::follow(this, [this, heading, title = QString::fromUtf8(title),
                                     hint = hint ? QString::fromUtf8(hint) : QString()] {
        const UIScale ui = EnvironmentValues::ui(this);
        heading->setFont(sized(this, ui.font + 1, true));
        heading->setText(L(title));
        if (m_hint) {
            m_hint->setFont(sized(this, ui.small()));
            m_hint->setText(L(hint));
        }
    });
}

SettingsPage::SettingsPage(const SettingsPageParts &parts, std::optional<ResetText> reset, QWidget *parent)
    : QWidget(parent), m_parts(parts) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(22);
    m_blocks = new QVBoxLayout;
    m_blocks->setSpacing(22);
    layout->addLayout(m_blocks);
    auto *divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);
    auto *foot = new QHBoxLayout;
    foot->addWidget(new HelpButton(&parts.requests, settingsChapter, this));
    foot->addStretch();
    if (reset) {
        m_reset = new QPushButton(L("Diesen Bereich zurücksetzen …"), this);
        m_reset->setAutoDefault(false);
        connect(m_reset, &QPushButton::clicked, this,
                [this, r = *reset] { m_parts.commands.resetPage(r.group, r.title, r.detail); });
        foot->addWidget(m_reset);
    }
    layout->addLayout(foot);
    layout->addStretch(1);
    connect(&parts.settings, &Settings::changed, this, &SettingsPage::refresh);
}

SettingsBlock *SettingsPage::addBlock(const char *title, const char *hint) {
    auto *block = new SettingsBlock(title, hint, this);
    m_blocks->addWidget(block);
    return block;
}

void SettingsPage::onRefresh(std::function<void()> f) {
    f();
    m_refreshers << std::move(f);
}

void SettingsPage::refresh() {
    for (const auto &f : std::as_const(m_refreshers))
        f();
}

namespace {

constexpr int cellWidth = 78, gap = 14, circle = 34, ringGap = 4;

class ThemeCell : public QAbstractButton {
public:
    ThemeCell(const AppTheme &theme, QWidget *parent) : QAbstractButton(parent), m_theme(theme) {
        setCursor(Qt::PointingHandCursor);
        setText(L(theme.name));
        setAccessibleName(L(theme.name));
        setObjectName(theme.id);
    }
    void setCurrent(bool current) {
        if (current == m_current) return;
        m_current = current;
        update();
    }
    bool current() const { return m_current; }
    QSize sizeHint() const override {
        return {cellWidth, circle + 2 * ringGap + 6 + QFontMetrics(captionFont()).height()};
    }

protected:
    QFont captionFont() const { return sized(this, EnvironmentValues::ui(this).small()); }
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF ring((width() - circle) / 2.0 - ringGap, 0, circle + 2 * ringGap, circle + 2 * ringGap);
        const QRectF dot = ring.adjusted(ringGap, ringGap, -ringGap, -ringGap);
        QPainterPath path;
        path.addEllipse(dot);
        p.fillPath(path, m_theme.gradient(dot));
        const QColor primary = palette().color(QPalette::WindowText);
        if (m_current) {
            // Stroked inside its bounds.
            p.setPen(QPen(primary, 2.5));
            p.drawEllipse(ring.adjusted(1.25, 1.25, -1.25, -1.25));
        }
        p.setFont(captionFont());
        p.setPen(m_current ? primary : palette().color(QPalette::PlaceholderText));
        p.drawText(QRectF(0, ring.bottom() + 6, width(), height() - ring.bottom() - 6),
                   Qt::AlignHCenter | Qt::AlignTop, L(m_theme.name));
        FocusFrame::paint(this, p);
    }

private:
    AppTheme m_theme;
    bool m_current = false;
};

} // namespace

ThemeGrid::ThemeGrid(Settings &settings, QWidget *parent) : QWidget(parent), m_settings(settings) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    for (const AppTheme &theme : AppTheme::all()) {
        auto *cell = new ThemeCell(theme, this);
        connect(cell, &QAbstractButton::clicked, this, [this, id = theme.id] { m_settings.setThemeID(id); });
        m_cells << cell;
    }
    refresh();
}

// Columns at least 78 wide, and wide enough for the longest theme name in the language's font.
int ThemeGrid::columns(int width) const {
    int least = cellWidth;
    for (const QAbstractButton *cell : m_cells)
        least = std::max(
            least,
            QFontMetrics(sized(this, EnvironmentValues::ui(this).small())).horizontalAdvance(cell->text()) +
                4);
    return std::max(1, (width + gap) / (least + gap));
}

int ThemeGrid::heightForWidth(int width) const {
    if (m_cells.isEmpty()) return 0;
    const int rows = int((m_cells.size() + columns(width) - 1) / columns(width));
    const int h = m_cells.first()->sizeHint().height();
    return rows * h + (rows - 1) * gap;
}

QSize ThemeGrid::sizeHint() const {
    const int w = 6 * cellWidth + 5 * gap;
    return {w, heightForWidth(w)};
}

void ThemeGrid::refresh() {
    const QString current = m_settings.themeID();
    // A stored id that names no theme shows the theme that is drawn instead.
    const QString drawn = AppTheme::named(current).id;
    for (QAbstractButton *cell : std::as_const(m_cells))
        static_cast<ThemeCell *>(cell)->setCurrent(cell->objectName() == drawn);
}

void ThemeGrid::resizeEvent(QResizeEvent *) {
    place();
}

void ThemeGrid::place() {
    const int cols = columns(width());
    const int each = std::max(cellWidth, (width() - (cols - 1) * gap) / cols);
    for (int i = 0; i < m_cells.size(); ++i) {
        const QSize s = m_cells[i]->sizeHint();
        m_cells[i]->setGeometry((i % cols) * (each + gap), (i / cols) * (s.height() + gap), each, s.height());
    }
}
