#include "ui/help/ShortcutsSheet.h"

#include "core/app/Settings.h"
#include "core/app/WindowRequests.h"
#include "core/help/KeyMap.h"
#include "core/localisation/Lang.h"
#include "ui/help/HelpButton.h"
#include "ui/help/KeyCap.h"
#include "ui/help/KeyboardGraphic.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/ScreenFit.h"
#include "ui/window/SheetPresenter.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QSpacerItem>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

namespace {

constexpr int narrowBelow = 760;

QFont sizedFont(const QWidget *w, double pixels, QFont::Weight weight = QFont::Normal) {
    QFont f = w->font();
    f.setPixelSize(std::max(1, int(std::lround(pixels))));
    f.setWeight(weight);
    return f;
}

QLabel *secondary(const QString &text, double pixels, QWidget *parent) {
    auto *label = new QLabel(text, parent);
    label->setFont(sizedFont(parent, pixels));
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

// Only blanks and tabs count as padding of a search text.
QString trimmedBlanks(const QString &text) {
    qsizetype from = 0, to = text.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (from < to && blank(text[from]))
        ++from;
    while (to > from && blank(text[to - 1]))
        --to;
    return text.mid(from, to - from);
}

} // namespace

// One line of the list: the key caps of every alternative, then what they do. The whole line takes the
// click, blank parts included.
class ShortcutRow : public QWidget {
public:
    ShortcutRow(const ShortcutItem &item, std::function<void(const QUuid &)> onClick, QWidget *parent)
        : QWidget(parent), m_id(item.id), m_onClick(std::move(onClick)) {
        const UIScale ui = EnvironmentValues::ui(parent);
        auto *row = new QHBoxLayout(this);
        row->setContentsMargins(6, 2, 6, 2);
        row->setSpacing(12);
        auto *keys = new QWidget(this);
        // The column's width as a strut, so a longer row of caps still widens it rather than being cut.
        m_column = new QVBoxLayout(keys);
        m_column->setContentsMargins(0, 0, 0, 0);
        m_column->setSpacing(0);
        auto *caps = new QHBoxLayout;
        caps->setSpacing(4);
        m_column->addLayout(caps);
        m_strut = new QSpacerItem(320, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
        m_column->addItem(m_strut);
        bool first = true;
        for (const QStringList &alternative : item.alternatives()) {
            if (!first) caps->addWidget(secondary(L("oder"), ui.small(), keys));
            first = false;
            for (const QString &token : alternative)
                caps->addWidget(new KeyCap(token, keys));
        }
        caps->addStretch();
        row->addWidget(keys);
        auto *text = new QLabel(ShortcutData::text(item.text), this);
        text->setFont(sizedFont(this, ui.font));
        text->setWordWrap(true);
        row->addWidget(text, 1);
    }
    QUuid id() const { return m_id; }
    void setKeysWidth(int width) {
        m_strut->changeSize(width, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
        m_column->invalidate();
    }
    void setSelected(bool selected) {
        if (selected == m_selected) return;
        m_selected = selected;
        update();
    }

protected:
    void mousePressEvent(QMouseEvent *event) override {
        if (event->button() == Qt::LeftButton) m_onClick(m_id);
    }
    void paintEvent(QPaintEvent *) override {
        if (!m_selected) return;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 8, 8);
        p.fillPath(shape, EnvironmentValues::appTheme(this).gradient(QRectF(rect()), 0.2));
    }

private:
    QUuid m_id;
    QVBoxLayout *m_column = nullptr;
    QSpacerItem *m_strut = nullptr;
    std::function<void(const QUuid &)> m_onClick;
    bool m_selected = false;
};

void ShortcutsSheet::registerWith(SheetPresenter *sheets, Settings &settings, WindowRequests &requests) {
    sheets->setFactory(SheetPresenter::Sheet::shortcuts, [&settings, &requests](QWidget *parent) {
        return new ShortcutsSheet(settings, requests, parent);
    });
}

ShortcutsSheet::ShortcutsSheet(Settings &settings, WindowRequests &requests, QWidget *parent)
    : QDialog(parent), m_settings(settings), m_requests(requests) {
    setWindowTitle(L("macOS-Tastenkürzel"));
    setMinimumSize(ScreenFit::minWidth, ScreenFit::minHeight);
    resize(ScreenFit::width(940), ScreenFit::height(760));
    const UIScale ui = EnvironmentValues::ui(parent ? parent : this);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(18, 18, 18, 18);
    outer->setSpacing(12);
    buildHeader(outer, ui);
    buildKeyboard(outer, ui);
    buildList(outer, ui);
    buildNotes(outer, ui);
    wire();
    refresh();
    fitToWidth(width());
    // The list has the keys from the start: a wheel turned over the layout menu (first in the focus
    // chain) must not change the stored layout.
    m_scroll->setFocus(Qt::OtherFocusReason);
}

void ShortcutsSheet::buildHeader(QVBoxLayout *outer, const UIScale &ui) {
    m_header = new QHBoxLayout;
    m_header->setSpacing(12);
    auto *title = new QLabel(L("macOS-Tastenkürzel"), this);
    title->setFont(sizedFont(this, ui.font + 4, QFont::DemiBold));
    m_header->addWidget(title);
    m_header->addStretch();
    m_pickerBox = new QWidget(this);
    auto *pickerLayout = new QHBoxLayout(m_pickerBox);
    pickerLayout->setContentsMargins(0, 0, 0, 0);
    pickerLayout->setSpacing(6);
    pickerLayout->addWidget(new QLabel(L("Tastaturbelegung"), m_pickerBox));
    m_picker = new QComboBox(m_pickerBox);
    for (KbLayout l : KbLayouts::allCases)
        m_picker->addItem(KbLayouts::title(l), KbLayouts::rawValue(l));
    // The choice shown whole, at every size.
    m_picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    pickerLayout->addWidget(m_picker);
    m_header->addWidget(m_pickerBox);
    m_header->addWidget(new HelpButton(&m_requests, 12, this));
    auto *close = new QPushButton(L("Schließen"), this);
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    m_header->addWidget(close);
    outer->addLayout(m_header);
    // On a narrow sheet the picker gets a line of its own.
    m_pickerRow = new QHBoxLayout;
    m_pickerRow->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(m_pickerRow);
}

void ShortcutsSheet::buildKeyboard(QVBoxLayout *outer, const UIScale &ui) {
    m_keyboardRow = new QBoxLayout(QBoxLayout::LeftToRight);
    m_keyboardRow->setSpacing(14);
    m_keyboard = new KeyboardGraphic({}, keyboardLayout(), this);
    m_keyboardRow->addWidget(m_keyboard, 0, Qt::AlignTop);
    auto *side = new QVBoxLayout;
    side->setSpacing(6);
    auto *hint =
        secondary(L("Halte ⌘, ⌥, ⇧, ⌃ oder fn auf deiner Tastatur gedrückt: Die Tasten leuchten auf, und "
                    "die Liste zeigt nur passende Kürzel. Klicke auf ein Kürzel, um seine Tasten zu sehen."),
                  ui.small() + 0.5, this);
    hint->setWordWrap(true);
    side->addWidget(hint);
    m_filterRow = new QWidget(this);
    m_filterCaps = new QHBoxLayout(m_filterRow);
    m_filterCaps->setContentsMargins(0, 0, 0, 0);
    m_filterCaps->setSpacing(4);
    m_filterRow->hide();
    side->addWidget(m_filterRow);
    side->addStretch();
    m_keyboardRow->addLayout(side, 1);
    outer->addLayout(m_keyboardRow);
}

void ShortcutsSheet::buildList(QVBoxLayout *outer, const UIScale &ui) {
    m_search = new QLineEdit(this);
    m_search->setPlaceholderText(ShortcutData::text(K("Suchen, z. B. Papierkorb, Kopieren, ⌘…")));
    m_search->setClearButtonEnabled(true);
    connect(m_search, &QLineEdit::textChanged, this, &ShortcutsSheet::setQuery);
    outer->addWidget(m_search);

    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setStyleSheet(QStringLiteral("QScrollArea { border: 1px solid rgba(127,127,127,0.25); "
                                           "border-radius: 6px; }"));
    auto *content = new QWidget(m_scroll);
    auto *list = new QVBoxLayout(content);
    list->setContentsMargins(6, 6, 8, 6);
    list->setSpacing(14);
    const auto click = [this](const QUuid &id) { clickRow(id); };
    for (const ShortcutGroup &group : ShortcutData::groups()) {
        auto *box = new QWidget(content);
        auto *rows = new QVBoxLayout(box);
        rows->setContentsMargins(0, 0, 0, 0);
        rows->setSpacing(4);
        auto *heading = new QLabel(ShortcutData::text(group.title), box);
        heading->setFont(sizedFont(this, ui.font, QFont::DemiBold));
        heading->setContentsMargins(0, 0, 0, 2);
        rows->addWidget(heading);
        QList<ShortcutRow *> items;
        for (const ShortcutItem &item : group.items) {
            auto *row = new ShortcutRow(item, click, box);
            rows->addWidget(row);
            items << row;
        }
        list->addWidget(box);
        m_groups.append({box, items});
    }
    list->addStretch();
    m_scroll->setWidget(content);
    outer->addWidget(m_scroll, 1);
}

void ShortcutsSheet::buildNotes(QVBoxLayout *outer, const UIScale &ui) {
    auto *notes = new QVBoxLayout;
    notes->setSpacing(2);
    auto *source =
        secondary(QStringLiteral("%1. %2").arg(L(ShortcutData::sourceText()), ShortcutData::sourceAddress()),
                  ui.small() - 0.5, this);
    source->setWordWrap(true);
    source->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notes->addWidget(source);
    m_notes = secondary(QString(), ui.small() - 0.5, this);
    m_notes->setWordWrap(true);
    notes->addWidget(m_notes);
    outer->addLayout(notes);
}

// The picker and the stored layout follow each other; the settings page may change it too.
void ShortcutsSheet::wire() {
    m_picker->setCurrentIndex(layoutIndex());
    connect(m_picker, &QComboBox::currentIndexChanged, this, [this] {
        m_settings.setKeyboardLayout(m_picker->currentData().toString());
        refresh();
    });
    connect(&m_settings, &Settings::changed, this, [this](Settings::Key key) {
        if (key != Settings::Key::keyboardLayout) return;
        if (const int index = layoutIndex(); index != m_picker->currentIndex())
            m_picker->setCurrentIndex(index);
        refresh();
    });
}

int ShortcutsSheet::layoutIndex() const {
    const KbLayout stored = KbLayouts::fromStored(m_settings.keyboardLayout());
    return int(std::find(KbLayouts::allCases.begin(), KbLayouts::allCases.end(), stored) -
               KbLayouts::allCases.begin());
}

ShortcutsSheet::~ShortcutsSheet() {
    if (m_monitoring) qApp->removeEventFilter(this);
}

KbLayout ShortcutsSheet::keyboardLayout() const {
    return KbLayouts::resolved(KbLayouts::fromStored(m_settings.keyboardLayout()));
}

QSet<QString> ShortcutsSheet::litKeys() const {
    const KbLayout l = keyboardLayout();
    QSet<QString> out = KeyMap::ids(QStringList(m_held.begin(), m_held.end()), l);
    if (!m_selected) return out;
    for (const ShortcutGroup &group : ShortcutData::groups())
        for (const ShortcutItem &item : group.items)
            if (item.id == *m_selected) {
                const QList<QStringList> alternatives = item.alternatives();
                if (!alternatives.isEmpty()) out.unite(KeyMap::ids(alternatives.first(), l));
                return out;
            }
    return out;
}

bool ShortcutsSheet::matches(const ShortcutItem &item) const {
    if (!m_held.isEmpty() && !item.modifiers().contains(m_held)) return false;
    const QString q = trimmedBlanks(m_query).toLower();
    if (q.isEmpty()) return true;
    return ShortcutData::text(item.text).toLower().contains(q) || item.text.toLower().contains(q) ||
           item.keys.toLower().contains(q);
}

void ShortcutsSheet::setHeld(const QSet<QString> &held) {
    if (held == m_held) return;
    m_held = held;
    refresh();
}

void ShortcutsSheet::clickRow(const QUuid &id) {
    if (m_selected == id)
        m_selected.reset();
    else
        m_selected = id;
    refresh();
}

void ShortcutsSheet::setQuery(const QString &query) {
    if (query == m_query) return;
    m_query = query;
    if (m_search->text() != query) m_search->setText(query);
    refresh();
}

QList<std::pair<QString, QList<QUuid>>> ShortcutsSheet::listed() const {
    QList<std::pair<QString, QList<QUuid>>> out;
    for (const ShortcutGroup &group : ShortcutData::groups()) {
        QList<QUuid> ids;
        for (const ShortcutItem &item : group.items)
            if (matches(item)) ids << item.id;
        if (!ids.isEmpty()) out.append({group.title, ids});
    }
    return out;
}

QStringList ShortcutsSheet::layoutNotes() const {
    const KbLayout l = keyboardLayout();
    if (l == KbLayout::de)
        return {L("Die Tastatur zeigt die deutsche Mac-Belegung. Sonderzeichen wie [ ] { } | ` liegen auf "
                  "deutscher "
                  "Tastatur an anderen Stellen als in Apples Liste; die Markierung ist dort eine Näherung.")};
    QStringList notes{
        L("Die Tastatur zeigt die US-Belegung. Sonderzeichen wie [ ] { } | ` liegen auf anderen "
          "Tastaturen an anderen Stellen; die Markierung folgt der gewählten Belegung.")};
    if (l == KbLayout::th)
        notes << L("Thai-Zeichen stehen klein auf den Tasten. Die Kürzel selbst gelten mit den lateinischen "
                   "Buchstaben der Tasten.");
    return notes;
}

void ShortcutsSheet::refresh() {
    const QList<ShortcutGroup> &groups = ShortcutData::groups();
    for (qsizetype g = 0; g < groups.size() && g < m_groups.size(); ++g) {
        bool any = false;
        for (qsizetype i = 0; i < groups[g].items.size(); ++i) {
            const bool shown = matches(groups[g].items[i]);
            ShortcutRow *row = m_groups[g].second[i];
            row->setVisible(shown);
            row->setSelected(m_selected == row->id());
            any = any || shown;
        }
        m_groups[g].first->setVisible(any);
    }
    m_keyboard->setKeyboardLayout(keyboardLayout());
    m_keyboard->setLit(litKeys());
    m_notes->setText(layoutNotes().join(u'\n'));
    refreshFilterRow();
}

void ShortcutsSheet::refreshFilterRow() {
    while (QLayoutItem *item = m_filterCaps->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_filterRow->setVisible(!m_held.isEmpty());
    if (m_held.isEmpty()) return;
    const UIScale ui = EnvironmentValues::ui(this);
    m_filterCaps->addWidget(secondary(L("Filter:"), ui.small(), m_filterRow));
    QStringList tokens(m_held.begin(), m_held.end());
    std::sort(tokens.begin(), tokens.end()); // by code point: fn, ⇧, ⌃, ⌘, ⌥
    for (const QString &token : tokens)
        m_filterCaps->addWidget(new KeyCap(token, m_filterRow));
    m_filterCaps->addStretch();
}

void ShortcutsSheet::fitToWidth(int width) {
    // Keyboard and hint side by side only where the keyboard keeps its full size next to a readable hint.
    const bool narrow = width < narrowBelow;
    if (narrow == m_narrow &&
        m_keyboardRow->direction() == (narrow ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight))
        return;
    m_narrow = narrow;
    m_keyboardRow->setDirection(narrow ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    // A narrow sheet leaves the descriptions room beside a slimmer keys column.
    for (const auto &[box, rows] : m_groups)
        for (ShortcutRow *row : rows)
            row->setKeysWidth(narrow ? 150 : 320);
    if (narrow) {
        m_header->removeWidget(m_pickerBox);
        m_pickerRow->addWidget(m_pickerBox, 1);
    } else {
        m_pickerRow->removeWidget(m_pickerBox);
        m_header->insertWidget(2, m_pickerBox);
    }
}

void ShortcutsSheet::resizeEvent(QResizeEvent *event) {
    QDialog::resizeEvent(event);
    fitToWidth(width());
}

void ShortcutsSheet::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (!m_monitoring) {
        qApp->installEventFilter(this);
        m_monitoring = true;
    }
}

void ShortcutsSheet::hideEvent(QHideEvent *event) {
    if (m_monitoring) {
        qApp->removeEventFilter(this);
        m_monitoring = false;
    }
    QDialog::hideEvent(event);
}

bool ShortcutsSheet::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const int k = key->key();
        const bool modifierKey =
            k == Qt::Key_Control || k == Qt::Key_Shift || k == Qt::Key_Alt || k == Qt::Key_Meta;
        // Qt reports a modifier key's own event with the state after it (pressed or released).
        if (modifierKey && !key->isAutoRepeat()) setHeld(KeyMap::tokens(key->modifiers()));
    }
    return QDialog::eventFilter(watched, event);
}
