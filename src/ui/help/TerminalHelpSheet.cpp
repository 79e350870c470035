#include "ui/help/TerminalHelpSheet.h"

#include "core/app/Pasteboard.h"
#include "core/app/Settings.h"
#include "core/app/WindowRequests.h"
#include "core/help/KeyMap.h"
#include "core/help/ShortcutData.h"
#include "core/help/TerminalData.h"
#include "core/localisation/Lang.h"
#include "ui/help/HelpButton.h"
#include "ui/help/KeyCap.h"
#include "ui/help/KeyboardGraphic.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/ScreenFit.h"
#include "ui/style/Symbols.h"
#include "ui/window/SheetPresenter.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int copyMarkMs = 1300;

QString folded(const QString &query) {
    return query.trimmed().toLower();
}

// A rounded block that takes the theme's gradient while it is marked and passes clicks to its owner.
class MarkFrame : public QFrame {
public:
    MarkFrame(double opacity, QWidget *parent) : QFrame(parent), m_opacity(opacity) {}
    std::function<void(QPoint)> onClick;
    void setMarked(bool on) {
        if (m_marked == on) return;
        m_marked = on;
        update();
    }
    bool marked() const { return m_marked; }

protected:
    void paintEvent(QPaintEvent *) override {
        if (!m_marked) return;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 8, 8);
        p.fillPath(path, EnvironmentValues::appTheme(this).gradient(QRectF(rect()), m_opacity));
    }
    void mousePressEvent(QMouseEvent *event) override { event->accept(); }
    void mouseReleaseEvent(QMouseEvent *event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onClick)
            onClick(event->position().toPoint());
    }

private:
    double m_opacity;
    bool m_marked = false;
};

// A rounded block filled with a colour, for the example lines and the warning.
class FillFrame : public QFrame {
public:
    FillFrame(QColor fill, QWidget *parent) : QFrame(parent), m_fill(fill) {}

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 8, 8);
        p.fillPath(path, m_fill);
    }

private:
    QColor m_fill;
};

QColor faded(const QWidget *w, double alpha) {
    QColor c = w->palette().color(QPalette::WindowText);
    c.setAlphaF(float(alpha));
    return c;
}

QLabel *textLabel(const QString &text, double px, QWidget *parent, bool secondary = false) {
    auto *label = new QLabel(text, parent);
    QFont f = label->font();
    f.setPixelSize(int(std::round(px)));
    label->setFont(f);
    label->setWordWrap(true);
    if (secondary) label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QLabel *titleLabel(const QString &text, double px, QWidget *parent) {
    QLabel *label = textLabel(text, px, parent);
    QFont f = label->font();
    f.setWeight(QFont::DemiBold);
    label->setFont(f);
    return label;
}

QLabel *warningSymbol(QWidget *parent) {
    auto *icon = new QLabel(parent);
    icon->setPixmap(Symbols::pixmap(QStringLiteral("exclamationmark.triangle.fill"), 14, QColor(220, 50, 40),
                                    parent->devicePixelRatioF()));
    icon->setFixedSize(16, 16);
    return icon;
}

QScrollArea *framedList(QWidget *content, QWidget *parent) {
    auto *scroll = new QScrollArea(parent);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::StyledPanel);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(content);
    return scroll;
}

} // namespace

struct TerminalHelpSheet::EntryWidgets {
    const TermEntry *entry = nullptr;
    MarkFrame *frame = nullptr;
    QWidget *detail = nullptr; // made on first expansion
    QToolButton *chevron = nullptr;
};

struct TerminalHelpSheet::CharWidgets {
    QUuid id;
    ShortcutItem row;
    MarkFrame *frame = nullptr;
};

void TerminalHelpSheet::registerWith(SheetPresenter *sheets, Settings &settings, WindowRequests &requests,
                                     Pasteboard &pasteboard) {
    sheets->setFactory(SheetPresenter::Sheet::terminalHelp,
                       [&settings, &requests, &pasteboard](QWidget *parent) {
                           return new TerminalHelpSheet(settings, requests, pasteboard, parent);
                       });
}

bool TerminalHelpSheet::matches(const TermEntry &entry, const QString &query) {
    const QString q = folded(query);
    if (q.isEmpty()) return true;
    if (entry.cmd.toLower().contains(q) || entry.shortText.text().toLower().contains(q) ||
        entry.detail.text().toLower().contains(q))
        return true;
    for (const TermLine &line : entry.lines) {
        if (line.code.toLower().contains(q)) return true;
        if (line.note && line.note->text().toLower().contains(q)) return true;
    }
    return false;
}

bool TerminalHelpSheet::charMatches(const ShortcutItem &row, const QString &query) {
    const QString q = folded(query);
    return q.isEmpty() || ShortcutData::text(row.text).toLower().contains(q) ||
           row.text.toLower().contains(q) || row.keys.toLower().contains(q);
}

TerminalHelpSheet::TerminalHelpSheet(Settings &settings, WindowRequests &requests, Pasteboard &pasteboard,
                                     QWidget *parent)
    : QDialog(parent), m_settings(settings), m_requests(requests), m_pasteboard(pasteboard) {
    setWindowTitle(L("Terminal-Hilfe"));
    resize(ScreenFit::width(940), ScreenFit::height(760));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(12);
    buildHeader(layout);
    buildBody(layout);
    wire();
    setTab(0);
    m_search->setFocus();
}

void TerminalHelpSheet::buildHeader(QVBoxLayout *layout) {
    const UIScale ui = EnvironmentValues::ui(this);
    auto *header = new QHBoxLayout;
    QLabel *title = titleLabel(L("Terminal-Hilfe"), ui.font + 4, this);
    title->setWordWrap(false);
    header->addWidget(title);
    header->addStretch();
    m_layoutPicker = new QComboBox(this);
    m_layoutPicker->setToolTip(L("Tastaturbelegung"));
    m_layoutPicker->setAccessibleName(L("Tastaturbelegung"));
    m_layoutPicker->setMaximumWidth(330);
    for (KbLayout l : KbLayouts::allCases)
        m_layoutPicker->addItem(KbLayouts::title(l), KbLayouts::rawValue(l));
    showStoredLayout();
    header->addWidget(m_layoutPicker);
    header->addWidget(new HelpButton(&m_requests, 12, this));
    auto *close = new QPushButton(L("Schließen"), this);
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    header->addWidget(close);
    layout->addLayout(header);
}

void TerminalHelpSheet::buildBody(QVBoxLayout *layout) {
    auto *pages = new QHBoxLayout;
    pages->setSpacing(0);
    m_pages = new QButtonGroup(this);
    int index = 0;
    for (const char *key : {K("Befehle"), K("Klammern und Zeichen")}) {
        auto *b = new QPushButton(L(key), this);
        b->setCheckable(true);
        b->setAutoDefault(false);
        b->setMaximumWidth(180);
        m_pages->addButton(b, index++);
        pages->addWidget(b);
    }
    pages->addStretch();
    layout->addLayout(pages);

    m_search = new QLineEdit(this);
    m_search->setClearButtonEnabled(true);
    layout->addWidget(m_search);

    m_stack = new QStackedWidget(this);
    m_stack->addWidget(buildCommandsPage());
    m_stack->addWidget(buildCharsPage());
    layout->addWidget(m_stack, 1);
}

// The picker writes the stored layout; a change from anywhere redraws the keys of the characters.
void TerminalHelpSheet::wire() {
    connect(m_layoutPicker, &QComboBox::activated, this,
            [this](int i) { m_settings.setKeyboardLayout(m_layoutPicker->itemData(i).toString()); });
    connect(m_pages, &QButtonGroup::idClicked, this, &TerminalHelpSheet::setTab);
    connect(m_search, &QLineEdit::textChanged, this, [this] { applyFilter(); });
    connect(&m_settings, &Settings::changed, this, [this](Settings::Key key) {
        if (key != Settings::Key::keyboardLayout) return;
        showStoredLayout();
        fillChars();
    });
}

void TerminalHelpSheet::showStoredLayout() {
    m_layoutPicker->setCurrentIndex(
        m_layoutPicker->findData(KbLayouts::rawValue(KbLayouts::fromStored(m_settings.keyboardLayout()))));
}

QWidget *TerminalHelpSheet::buildCommandsPage() {
    const UIScale ui = EnvironmentValues::ui(this);
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(textLabel(L("Hier stehen die wichtigsten Befehle für das Terminal von macOS. Sie "
                                  "gelten in zsh, dem Standard seit "
                                  "macOS Catalina, und fast immer auch in Bash. Klicke auf eine Zeile für "
                                  "die ausführliche Erklärung. Der "
                                  "Knopf rechts kopiert den Befehl, er führt nichts aus."),
                                ui.small() + 0.5, page, true));

    auto *content = new QWidget;
    auto *list = new QVBoxLayout(content);
    list->setContentsMargins(6, 6, 8, 6);
    list->setSpacing(14);
    for (const TermGroup &group : TerminalData::groups()) {
        auto *block = new QWidget(content);
        auto *blockLayout = new QVBoxLayout(block);
        blockLayout->setContentsMargins(0, 0, 0, 0);
        blockLayout->setSpacing(4);
        QLabel *title = titleLabel(group.title.text(), ui.font, block);
        title->setContentsMargins(0, 0, 0, 2);
        blockLayout->addWidget(title);
        QList<EntryWidgets *> entries;
        for (const TermEntry &entry : group.items) {
            blockLayout->addWidget(buildEntry(entry));
            entries << m_entries.last();
        }
        list->addWidget(block);
        m_commandGroups.append({block, entries});
    }
    list->addStretch();
    layout->addWidget(framedList(content, page), 1);

    layout->addWidget(
        textLabel(L("Zusammengestellt und gegen die Handbuchseiten (man) von macOS 27.2 geprüft. "
                    "Vorsicht bei Befehlen mit rotem Warnzeichen: Sie ändern oder löschen Dateien "
                    "ohne Rückfrage."),
                  ui.small() - 0.5, page, true));
    return page;
}

QWidget *TerminalHelpSheet::buildEntry(const TermEntry &entry) {
    const UIScale ui = EnvironmentValues::ui(this);
    auto *w = new EntryWidgets;
    w->entry = &entry;
    m_entries << w;
    w->frame = new MarkFrame(0.12, this);
    w->frame->setObjectName(QStringLiteral("entry-") + entry.cmd);
    auto *layout = new QVBoxLayout(w->frame);
    layout->setContentsMargins(6, 3, 6, 3);
    layout->setSpacing(6);

    auto *row = new QHBoxLayout;
    row->setSpacing(10);
    row->addWidget(commandChip(entry.cmd, w->frame));
    QLabel *summary = textLabel(entry.shortText.text(), ui.font, w->frame);
    summary->setAttribute(Qt::WA_TransparentForMouseEvents);
    row->addWidget(summary, 1);
    if (entry.warning) {
        QLabel *mark = warningSymbol(w->frame);
        mark->setToolTip(L("Vorsicht"));
        row->addWidget(mark);
    }
    if (entry.copyable)
        row->addWidget(makeCopyButton(
            entry.copyText(), QStringLiteral("row-") + entry.id.toString(QUuid::WithoutBraces).toUpper(),
            w->frame));
    w->chevron = new QToolButton(w->frame);
    w->chevron->setAutoRaise(true);
    w->chevron->setAttribute(Qt::WA_TransparentForMouseEvents);
    w->chevron->setFixedWidth(18);
    w->chevron->setIcon(Symbols::icon(QStringLiteral("chevron.down")));
    row->addWidget(w->chevron);
    layout->addLayout(row);

    const QUuid id = entry.id;
    // The summary row takes the clicks; the detail below it does not close the entry.
    w->frame->onClick = [this, id, w](QPoint at) {
        if (!w->detail || w->detail->isHidden() || at.y() < w->detail->y()) toggle(id);
    };
    return w->frame;
}

QWidget *TerminalHelpSheet::commandChip(const QString &cmd, QWidget *parent) {
    const UIScale ui = EnvironmentValues::ui(this);
    auto *column = new QWidget(parent);
    m_chipColumns << column;
    auto *columnLayout = new QHBoxLayout(column);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    auto *chip = new QLabel(cmd, column);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(int(ui.font));
    mono.setWeight(QFont::Medium);
    chip->setFont(mono);
    const QColor border = faded(this, 0.18);
    chip->setStyleSheet(
        QStringLiteral("QLabel { background: palette(base); border: 1px solid rgba(%1,%2,%3,%4);"
                       " border-radius: 6px; padding: 3px 8px; }")
            .arg(border.red())
            .arg(border.green())
            .arg(border.blue())
            .arg(border.alpha()));
    chip->setMinimumWidth(110);
    columnLayout->addWidget(chip);
    columnLayout->addStretch();
    return column;
}

void TerminalHelpSheet::buildDetail(const TermEntry &entry, QWidget *into) {
    const UIScale ui = EnvironmentValues::ui(this);
    auto *layout = new QVBoxLayout(into);
    layout->setContentsMargins(6, 0, 0, 4);
    layout->setSpacing(8);
    QLabel *detail = textLabel(entry.detail.text(), ui.font, into);
    detail->setObjectName(QStringLiteral("detail"));
    layout->addWidget(detail);
    if (!entry.lines.isEmpty()) {
        auto *block = new FillFrame(faded(this, 0.05), into);
        auto *lines = new QVBoxLayout(block);
        lines->setContentsMargins(8, 8, 8, 8);
        lines->setSpacing(4);
        QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        mono.setPixelSize(int(std::round(ui.font - 0.5)));
        for (int i = 0; i < entry.lines.size(); ++i) {
            const TermLine &line = entry.lines[i];
            auto *row = new QHBoxLayout;
            row->setSpacing(10);
            auto *code = new QLabel(line.code, block);
            code->setFont(mono);
            code->setTextFormat(Qt::PlainText);
            code->setTextInteractionFlags(Qt::TextSelectableByMouse);
            code->setWordWrap(true);
            code->setMaximumWidth(400);
            row->addWidget(code, 3, Qt::AlignTop);
            if (line.note)
                row->addWidget(textLabel(line.note->text(), ui.small() + 0.5, block, true), 2, Qt::AlignTop);
            else
                row->addStretch(2);
            if (entry.copyable)
                row->addWidget(makeCopyButton(line.code,
                                              QStringLiteral("line-%1-%2")
                                                  .arg(entry.id.toString(QUuid::WithoutBraces).toUpper())
                                                  .arg(i),
                                              block),
                               0, Qt::AlignTop);
            lines->addLayout(row);
        }
        layout->addWidget(block);
    }
    if (entry.warning) {
        auto *block = new FillFrame(QColor(220, 50, 40, 31), into);
        block->setObjectName(QStringLiteral("warning"));
        auto *row = new QHBoxLayout(block);
        row->setContentsMargins(8, 8, 8, 8);
        row->setSpacing(8);
        row->addWidget(warningSymbol(block), 0, Qt::AlignTop);
        row->addWidget(textLabel(entry.warning->text(), ui.font, block), 1);
        layout->addWidget(block);
    }
}

QToolButton *TerminalHelpSheet::makeCopyButton(const QString &text, const QString &key, QWidget *parent) {
    auto *button = new QToolButton(parent);
    button->setObjectName(key);
    button->setAutoRaise(true);
    button->setFixedWidth(22);
    button->setToolTip(L("Kopieren"));
    button->setAccessibleName(L("Kopieren"));
    connect(button, &QToolButton::clicked, this, [this, text, key] { copy(text, key); });
    m_copyButtons.insert(key, button);
    refreshMarks();
    return button;
}

void TerminalHelpSheet::copy(const QString &text, const QString &key) {
    m_pasteboard.setText(text);
    m_copied = key;
    refreshMarks();
    // Each click clears its own mark; a later click on the same button does not postpone it.
    QTimer::singleShot(copyMarkMs, this, [this, key] {
        if (m_copied == key) {
            m_copied.reset();
            refreshMarks();
        }
    });
}

void TerminalHelpSheet::refreshMarks() {
    const qreal dpr = devicePixelRatioF();
    const QColor secondary = palette().color(QPalette::PlaceholderText);
    for (auto it = m_copyButtons.cbegin(); it != m_copyButtons.cend(); ++it) {
        const bool done = m_copied == it.key();
        it.value()->setIcon(done ? Symbols::pixmap(QStringLiteral("checkmark"), 14, QColor(40, 170, 70), dpr)
                                 : Symbols::pixmap(QStringLiteral("doc.on.doc"), 14, secondary, dpr));
    }
}

void TerminalHelpSheet::toggle(const QUuid &id) {
    if (m_open.contains(id))
        m_open.remove(id);
    else
        m_open.insert(id);
    for (EntryWidgets *w : std::as_const(m_entries)) {
        if (w->entry->id != id) continue;
        const bool open = m_open.contains(id);
        if (open && !w->detail) {
            w->detail = new QWidget(w->frame);
            buildDetail(*w->entry, w->detail);
            w->frame->layout()->addWidget(w->detail);
        }
        if (w->detail) w->detail->setVisible(open);
        w->frame->setMarked(open);
        w->chevron->setIcon(
            Symbols::icon(open ? QStringLiteral("chevron.up") : QStringLiteral("chevron.down")));
    }
}

void TerminalHelpSheet::setTab(int tab) {
    m_tab = tab == 1 ? 1 : 0;
    if (QAbstractButton *b = m_pages->button(m_tab)) b->setChecked(true);
    m_stack->setCurrentIndex(m_tab);
    m_layoutPicker->setVisible(m_tab == 1);
    m_search->setPlaceholderText(m_tab == 0 ? L("Suchen, z. B. kopieren, Ordner, Netzwerk, find …")
                                            : L("Suchen, z. B. Klammer, Strich, Tilde …"));
}

QString TerminalHelpSheet::query() const {
    return m_search->text();
}

void TerminalHelpSheet::setQuery(const QString &query) {
    m_search->setText(query);
}

void TerminalHelpSheet::applyFilter() {
    const QString q = query();
    for (auto &[block, entries] : m_commandGroups) {
        bool any = false;
        for (EntryWidgets *w : entries) {
            const bool pass = matches(*w->entry, q);
            w->frame->setVisible(pass);
            any = any || pass;
        }
        block->setVisible(any);
    }
    for (auto &[block, rows] : m_charGroups) {
        bool any = false;
        for (CharWidgets *w : rows) {
            const bool pass = charMatches(w->row, q);
            w->frame->setVisible(pass);
            any = any || pass;
        }
        block->setVisible(any);
    }
}

QStringList TerminalHelpSheet::shown() const {
    QStringList out;
    if (m_tab == 0) {
        const auto &groups = TerminalData::groups();
        for (int g = 0; g < m_commandGroups.size(); ++g) {
            if (m_commandGroups[g].first->isHidden()) continue;
            out << groups[g].title.text();
            for (EntryWidgets *w : m_commandGroups[g].second)
                if (!w->frame->isHidden()) out << QStringLiteral("  ") + w->entry->cmd;
        }
    } else {
        const auto table = TerminalData::charGroups(resolvedLayout());
        for (int g = 0; g < m_charGroups.size() && g < table.size(); ++g) {
            if (m_charGroups[g].first->isHidden()) continue;
            out << ShortcutData::text(table[g].title);
            for (CharWidgets *w : m_charGroups[g].second)
                if (!w->frame->isHidden()) out << QStringLiteral("  ") + ShortcutData::text(w->row.text);
        }
    }
    return out;
}

void TerminalHelpSheet::resizeEvent(QResizeEvent *event) {
    QDialog::resizeEvent(event);
    fitColumns();
}

QWidget *TerminalHelpSheet::buildCharsPage() {
    const UIScale ui = EnvironmentValues::ui(this);
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);

    m_charsTop = new QBoxLayout(QBoxLayout::LeftToRight);
    m_charsTop->setSpacing(14);
    m_keyboard = new KeyboardGraphic(page);
    m_charsTop->addWidget(m_keyboard, 0, Qt::AlignTop);
    m_charsTop->addWidget(
        textLabel(L("Klammern und Zeichen, die auf der Mac-Tastatur nicht aufgedruckt sind oder "
                    "oft vergessen werden. Klicke auf eine Zeile: Die Tasten leuchten auf der "
                    "Tastatur. Der Knopf rechts kopiert das Zeichen."),
                  ui.small() + 0.5, page, true),
        1, Qt::AlignTop);
    layout->addLayout(m_charsTop);

    auto *content = new QWidget;
    m_charList = new QVBoxLayout(content);
    m_charList->setContentsMargins(6, 6, 8, 6);
    m_charList->setSpacing(14);
    m_charList->addStretch();
    layout->addWidget(framedList(content, page), 1);

    layout->addWidget(
        textLabel(L("Die Tastenfolgen stammen aus den Tastaturbelegungen von macOS (Deutsch und US). "
                    "Bei ~, ` und ^ drückst du nach der Taste noch die Leertaste. Setze Adressen mit "
                    "? oder [ in zsh in Anführungszeichen, sonst meldet zsh „no matches found“."),
                  ui.small() - 0.5, page, true));
    fillChars();
    return page;
}

KbLayout TerminalHelpSheet::resolvedLayout() const {
    return KbLayouts::resolved(KbLayouts::fromStored(m_settings.keyboardLayout()));
}

void TerminalHelpSheet::fillChars() {
    const UIScale ui = EnvironmentValues::ui(this);
    m_charsLayout = resolvedLayout();
    QWidget *content = m_charList->parentWidget();
    clearChars();
    int at = 0;
    for (const ShortcutGroup &group : TerminalData::charGroups(m_charsLayout)) {
        auto *block = new QWidget(content);
        auto *blockLayout = new QVBoxLayout(block);
        blockLayout->setContentsMargins(0, 0, 0, 0);
        blockLayout->setSpacing(4);
        QLabel *title = titleLabel(ShortcutData::text(group.title), ui.font, block);
        title->setContentsMargins(0, 0, 0, 2);
        blockLayout->addWidget(title);
        QList<CharWidgets *> rows;
        for (const ShortcutItem &item : group.items) {
            CharWidgets *w = buildCharRow(item, block);
            blockLayout->addWidget(w->frame);
            rows << w;
            m_chars << w;
        }
        m_charList->insertWidget(at++, block);
        m_charGroups.append({block, rows});
    }
    fitColumns();
    applyFilter();
    refreshLit();
}

void TerminalHelpSheet::clearChars() {
    for (auto &[block, rows] : m_charGroups) {
        for (CharWidgets *w : rows) {
            for (auto it = m_copyButtons.begin(); it != m_copyButtons.end();)
                it = it.value()->parent() == w->frame ? m_copyButtons.erase(it) : std::next(it);
            m_chipColumns.removeAll(w->frame->findChild<QWidget *>(QStringLiteral("keys")));
            delete w;
        }
        delete block;
    }
    m_charGroups.clear();
    m_chars.clear();
}

TerminalHelpSheet::CharWidgets *TerminalHelpSheet::buildCharRow(const ShortcutItem &item, QWidget *block) {
    const UIScale ui = EnvironmentValues::ui(this);
    auto *w = new CharWidgets{item.id, item, new MarkFrame(0.2, block)};
    const QString label = ShortcutData::text(item.text);
    w->frame->setObjectName(QStringLiteral("char-row"));
    auto *row = new QHBoxLayout(w->frame);
    row->setContentsMargins(6, 2, 6, 2);
    row->setSpacing(12);
    auto *keys = new QWidget(w->frame);
    keys->setObjectName(QStringLiteral("keys"));
    keys->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *keysLayout = new QHBoxLayout(keys);
    keysLayout->setContentsMargins(0, 0, 0, 0);
    keysLayout->setSpacing(4);
    const QList<QStringList> alternatives = item.alternatives();
    if (!alternatives.isEmpty())
        for (const QString &token : alternatives.first())
            keysLayout->addWidget(new KeyCap(token, keys));
    keysLayout->addStretch();
    m_chipColumns << keys;
    row->addWidget(keys);
    QLabel *text = textLabel(label, ui.font, w->frame);
    text->setAttribute(Qt::WA_TransparentForMouseEvents);
    row->addWidget(text, 1);
    // The character is what stands before the two blanks; the input-source hint has none to copy.
    const int cut = label.indexOf(QStringLiteral("  "));
    if (cut >= 0)
        row->addWidget(makeCopyButton(
            label.left(cut), QStringLiteral("char-") + item.id.toString(QUuid::WithoutBraces).toUpper(),
            w->frame));
    const QUuid id = item.id;
    w->frame->onClick = [this, id](QPoint) { clickChar(id); };
    w->frame->setMarked(m_selectedChar == id);
    return w;
}

void TerminalHelpSheet::clickChar(const QUuid &id) {
    if (m_selectedChar == id)
        m_selectedChar.reset();
    else
        m_selectedChar = id;
    for (CharWidgets *w : std::as_const(m_chars))
        w->frame->setMarked(m_selectedChar == w->id);
    refreshLit();
}

QSet<QString> TerminalHelpSheet::litKeys() const {
    if (!m_selectedChar) return {};
    const KbLayout layout = resolvedLayout();
    for (const ShortcutGroup &group : TerminalData::charGroups(layout))
        for (const ShortcutItem &item : group.items)
            if (item.id == *m_selectedChar) {
                const QList<QStringList> alternatives = item.alternatives();
                return alternatives.isEmpty() ? QSet<QString>() : KeyMap::ids(alternatives.first(), layout);
            }
    return {};
}

void TerminalHelpSheet::refreshLit() {
    if (!m_keyboard) return;
    m_keyboard->setKeyboardLayout(resolvedLayout());
    m_keyboard->setLit(litKeys());
}

void TerminalHelpSheet::fitColumns() {
    // The fixed columns that line the texts up shrink on a narrow sheet, and the keyboard goes above the
    // intro there.
    const bool narrow = width() < 720;
    for (QWidget *column : std::as_const(m_chipColumns)) {
        const bool keys = column->objectName() == QLatin1String("keys");
        // Narrow: a long label widens its own row rather than being cut.
        const int width = keys ? (narrow ? 150 : 320) : (narrow ? 120 : 190);
        column->setMinimumWidth(width);
        column->setMaximumWidth(narrow ? QWIDGETSIZE_MAX : width);
    }
    if (m_charsTop) m_charsTop->setDirection(narrow ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
}
