#include "ui/settings/SettingsView.h"

#include "core/app/AppInfo.h"
#include "core/app/WindowRequests.h"
#include "core/app/ToolbarApps.h"
#include "core/app/SettingsCommands.h"
#include "core/help/KbLayout.h"
#include "core/localisation/Lang.h"
#include "ui/settings/SettingsParts.h"
#include "ui/style/FocusFrame.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/ScreenFit.h"
#include "ui/style/Symbols.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SheetPresenter.h"

#include <QApplication>
#include <QButtonGroup>
#include <QPainter>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

#include <cmath>

#include <numeric>

namespace {

using Sheet = WindowRequests::Sheet;
using R = Settings::Reset;

// The main windows ("Kestrin"); none while only the settings window is open.
QList<MainWindow *> mainWindows() {
    QList<MainWindow *> out;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *m = qobject_cast<MainWindow *>(w); m && m->windowTitle() == AppInfo::name) out << m;
    return out;
}

bool canShow(Sheet sheet) {
    for (MainWindow *w : mainWindows())
        if (w->sheets() && w->sheets()->canShow(sheet)) return true;
    return false;
}

// Brings the main windows forward and asks for the sheet there; without a main window nothing is asked, so
// no sheet turns up later when one opens.
void openSheet(WindowRequests *requests, void (WindowRequests::*set)(bool)) {
    const QList<MainWindow *> windows = mainWindows();
    if (windows.isEmpty()) return;
    for (MainWindow *w : windows) {
        w->raise();
        w->activateWindow();
    }
    (requests->*set)(true);
}

QHBoxLayout *row(QVBoxLayout *into, int spacing = 8) {
    auto *r = new QHBoxLayout;
    r->setSpacing(spacing);
    into->addLayout(r);
    return r;
}

// A row of chips that wraps when the language makes it wider than the page.
class ChipRow : public QWidget {
public:
    explicit ChipRow(QWidget *parent) : QWidget(parent) {
        QSizePolicy p(QSizePolicy::Preferred, QSizePolicy::Preferred);
        p.setHeightForWidth(true);
        setSizePolicy(p);
    }
    ChipRow *add(SettingsPage *page, const char *key, std::function<bool()> selected,
                 std::function<void()> action) {
        auto *chip = new ChoiceChip(QString::fromUtf8(key), std::move(selected), std::move(action), this);
        page->onRefresh([chip] { chip->refresh(); });
        m_chips << chip;
        return this;
    }
    ChipRow *addPlain(SettingsPage *page, const QString &title, std::function<bool()> selected,
                      std::function<void()> action) {
        // A title that is no key (a language's own name) comes back unchanged from L.
        auto *chip = new ChoiceChip(title, std::move(selected), std::move(action), this);
        page->onRefresh([chip] { chip->refresh(); });
        m_chips << chip;
        return this;
    }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int w) const override { return layoutAt(w, false); }
    QSize sizeHint() const override {
        int w = 0, h = 0;
        for (ChoiceChip *c : m_chips) {
            w += c->sizeHint().width() + 8;
            h = std::max(h, c->sizeHint().height());
        }
        return {std::max(0, w - 8), h};
    }
    QSize minimumSizeHint() const override {
        int w = 0;
        for (ChoiceChip *c : m_chips)
            w = std::max(w, c->sizeHint().width());
        return {w, heightForWidth(w)};
    }

protected:
    void resizeEvent(QResizeEvent *) override { layoutAt(width(), true); }
    bool event(QEvent *e) override {
        if (e->type() == QEvent::LayoutRequest) {
            updateGeometry();
            layoutAt(width(), true);
        }
        return QWidget::event(e);
    }

private:
    int layoutAt(int width, bool place) const {
        int x = 0, y = 0, line = 0;
        for (ChoiceChip *c : m_chips) {
            const QSize s = c->sizeHint();
            if (x > 0 && x + s.width() > width) {
                x = 0;
                y += line + 8;
                line = 0;
            }
            if (place) c->setGeometry(x, y, s.width(), s.height());
            x += s.width() + 8;
            line = std::max(line, s.height());
        }
        return y + line;
    }
    QList<ChoiceChip *> m_chips;
};

ChipRow *chips(SettingsBlock *block) {
    auto *r = new ChipRow(block);
    block->content()->addWidget(r);
    return r;
}

QCheckBox *toggle(SettingsPage *page, SettingsBlock *block, const char *key, Settings::Key setting) {
    auto *box = new QCheckBox(block);
    Settings *settings = &page->parts().settings;
    EnvironmentValues::follow(box, [box, key] { box->setText(L(key)); });
    page->onRefresh([box, settings, setting] { box->setChecked(settings->value(setting).toBool()); });
    // Written at once; only the user's click, not the refresh, writes.
    QObject::connect(box, &QCheckBox::clicked, box,
                     [settings, setting](bool on) { settings->set(setting, on); });
    block->content()->addWidget(box);
    return box;
}

QPushButton *button(QWidget *parent, const char *key) {
    auto *b = new QPushButton(parent);
    b->setAutoDefault(false);
    EnvironmentValues::follow(b, [b, key] { b->setText(L(key)); });
    return b;
}

// A block's one action: a button on a row of its own, at the start.
QPushButton *actionRow(SettingsBlock *block, const char *key, const char *name, std::function<void()> act) {
    QHBoxLayout *r = row(block->content());
    QPushButton *b = button(block, key);
    b->setObjectName(QLatin1String(name));
    QObject::connect(b, &QPushButton::clicked, b, std::move(act));
    r->addWidget(b);
    r->addStretch();
    return b;
}

QLabel *secondary(QWidget *parent) {
    auto *l = new QLabel(parent);
    l->setForegroundRole(QPalette::PlaceholderText);
    l->setWordWrap(true);
    return l;
}

// The keyboard picker for the shortcuts window's keyboard graphic.
void keyboardBlock(SettingsPage *page, Settings *s) {
    SettingsBlock *keyboard = page->addBlock(
        K("Tastaturbelegung"),
        K("Bestimmt die Tastatur-Grafik im Fenster „macOS-Tastenkürzel“. Automatisch richtet sich nach der "
          "Sprache."));
    auto *picker = new QComboBox(keyboard);
    // Its longest choice shown whole at every size.
    picker->setMinimumWidth(280);
    picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (KbLayout layout : KbLayouts::allCases)
        picker->addItem(KbLayouts::title(layout), KbLayouts::rawValue(layout));
    page->onRefresh([picker, s] {
        picker->setCurrentIndex(
            picker->findData(KbLayouts::rawValue(KbLayouts::fromStored(s->keyboardLayout()))));
    });
    QObject::connect(picker, &QComboBox::activated, picker,
                     [picker, s](int i) { s->setKeyboardLayout(picker->itemData(i).toString()); });
    keyboard->content()->addWidget(picker, 0, Qt::AlignLeft);
}

// The program's facts, the manual and the feedback.
void aboutBlock(SettingsPage *page, WindowRequests *requests) {
    SettingsBlock *about = page->addBlock(K("Über Kestrin"));
    auto *facts = secondary(about);
    facts->setObjectName(QStringLiteral("aboutLine"));
    facts->setText(AppInfo::name + u' ' + AppInfo::version + QStringLiteral(" · ") + AppInfo::serial +
                   QStringLiteral(" · ") + AppInfo::developer());
    facts->setTextInteractionFlags(Qt::TextSelectableByMouse);
    about->content()->addWidget(facts);
    QHBoxLayout *buttons = row(about->content());
    QPushButton *manual = button(about, K("Handbuch öffnen"));
    QObject::connect(manual, &QPushButton::clicked, manual,
                     [requests] { requests->openManual(std::nullopt); });
    QPushButton *feedback = button(about, K("Feedback senden"));
    QObject::connect(feedback, &QPushButton::clicked, feedback,
                     [requests] { openSheet(requests, &WindowRequests::setShowFeedback); });
    buttons->addWidget(manual);
    buttons->addWidget(feedback);
    buttons->addStretch();
}

SettingsPage *generalPage(const SettingsPageParts &parts) {
    auto *page = new SettingsPage(
        parts,
        SettingsPage::ResetText{
            K("Allgemein zurücksetzen?"),
            K("Die Sprache folgt wieder dem System, die Tastaturbelegung im Tastenkürzel-Fenster wird "
              "automatisch gewählt, und beim Start öffnet Kestrin wieder den zuletzt benutzten Ordner. Sonst "
              "ändert sich nichts."),
            R::general});
    Settings *s = &parts.settings;

    auto *languages =
        chips(page->addBlock(K("Sprache"), K("Gilt sofort für Menüs, Knöpfe, Fenster und Meldungen. Das "
                                             "Handbuch gibt es in allen vier Sprachen.")));
    for (AppLanguage lang : AppLanguages::allCases)
        languages->addPlain(
            page, AppLanguages::nativeName(lang), [s, lang] { return s->language() == lang; },
            [s, lang] { s->setLanguage(lang); });

    chips(page->addBlock(
              K("Beim Start öffnen"),
              K("Bestimmt, in welchem Ordner beide Fenster nach dem Start stehen. "
                "„Benutzerordner“ öffnet immer deinen persönlichen Ordner. Gilt beim nächsten Start.")))
        ->add(
            page, K("Letzter Ordner"), [s] { return s->startFolder() == u"last"; },
            [s] { s->setStartFolder(QStringLiteral("last")); })
        ->add(
            page, K("Benutzerordner"), [s] { return s->startFolder() == u"home"; },
            [s] { s->setStartFolder(QStringLiteral("home")); });

    keyboardBlock(page, s);
    aboutBlock(page, &parts.requests);
    return page;
}

SettingsPage *appearancePage(const SettingsPageParts &parts) {
    auto *page = new SettingsPage(
        parts,
        SettingsPage::ResetText{K("Darstellung zurücksetzen?"),
                                K("Farbe (Nebula), Schriftgröße (13), Ordnersymbole („Wie im System“) und "
                                  "Erscheinungsbild (Automatisch) gehen auf die Standardwerte zurück."),
                                R::appearance});
    Settings *s = &parts.settings;
    ChipRow *look = chips(page->addBlock(K("Erscheinungsbild")));
    const std::pair<const char *, const char *> looks[] = {
        {K("Automatisch"), "system"}, {K("Hell"), "light"}, {K("Dunkel"), "dark"}};
    for (const auto &[key, value] : looks)
        look->add(
            page, key, [s, value] { return s->appearance() == QLatin1String(value); },
            [s, value] { s->setAppearance(QString::fromLatin1(value)); });

    SettingsBlock *colours = page->addBlock(K("Farben"));
    auto *grid = new ThemeGrid(parts.settings, colours);
    page->onRefresh([grid] { grid->refresh(); });
    colours->content()->addWidget(grid);

    ChipRow *sizes = chips(page->addBlock(K("Schriftgröße"), K("13 ist die Standardgröße.")));
    static const char *const sizeTitles[] = {"11", "12", "13", "14", "15", "16"};
    static_assert(std::size(sizeTitles) == Settings::largestFont - Settings::smallestFont + 1);
    for (int size = Settings::smallestFont; size <= Settings::largestFont; ++size)
        sizes->add(
            page, sizeTitles[size - Settings::smallestFont], [s, size] { return s->fontSize() == size; },
            [s, size] { s->setFontSize(size); });

    chips(page->addBlock(K("Ordnersymbole"),
                         K("„Wie im System“ zeigt die Ordnersymbole des Symbolthemas, auch für besondere "
                           "Ordner wie Bilder oder Musik.")))
        ->add(
            page, K("Wie im System"), [s] { return s->folderIcons() == u"finder"; },
            [s] { s->setFolderIcons(QStringLiteral("finder")); })
        ->add(
            page, K("Farbverlauf des Themas"), [s] { return s->folderIcons() == u"theme"; },
            [s] { s->setFolderIcons(QStringLiteral("theme")); });
    return page;
}

SettingsPage *windowPage(const SettingsPageParts &parts) {
    auto *page = new SettingsPage(
        parts, SettingsPage::ResetText{
                   K("Fenster zurücksetzen?"),
                   K("Zwei Fenster, Seitenleiste an, Info-Leiste aus, Aufteilung 50/50 und "
                     "Standardbreite der Info-Leiste. Deine Ordner und Tabs bleiben unverändert."),
                   R::window});
    Settings *s = &parts.settings;
    SettingsBlock *layout = page->addBlock(K("Aufbau"));
    toggle(page, layout, K("Zwei Fenster nebeneinander zeigen"), Settings::Key::dualPane);
    toggle(page, layout, K("Seitenleiste zeigen"), Settings::Key::showSidebar);
    toggle(page, layout, K("Info-Leiste zeigen"), Settings::Key::showInspector);

    SettingsBlock *widths = page->addBlock(
        K("Breite"), K("Die Breite der Fenster und der Info-Leiste änderst du im Hauptfenster "
                       "durch Ziehen an der Trennlinie. Doppelklick stellt den Standard wieder "
                       "her."));
    QHBoxLayout *r = row(widths->content());
    QLabel *split = secondary(widths);
    split->setObjectName(QStringLiteral("splitText"));
    split->setWordWrap(false);
    QPushButton *even = button(widths, K("Auf 50/50 stellen"));
    QObject::connect(even, &QPushButton::clicked, even, [s] { s->setSplitFraction(0.5); });
    page->onRefresh([split, even, s] {
        const double fraction = s->splitFraction();
        const long left = std::lround(fraction * 100);
        split->setText(LF("Aufteilung: %d zu %d", int(left), int(100 - left)));
        even->setEnabled(std::abs(fraction - 0.5) >= 0.005);
    });
    // The text is formed anew in a new language.
    EnvironmentValues::follow(split, [page] { page->refresh(); });
    r->addWidget(split);
    r->addWidget(even);
    r->addStretch();
    return page;
}

SettingsPage *toolbarPage(const SettingsPageParts &parts) {
    auto *page = new SettingsPage(
        parts, SettingsPage::ResetText{K("Darstellung der Leiste zurücksetzen?"),
                                       K("Die Leiste wird wieder kompakt (nur Symbole). Deine "
                                         "Apps in der Leiste bleiben erhalten."),
                                       R::toolbarLook});
    Settings *s = &parts.settings;
    chips(page->addBlock(K("Darstellung"),
                         K("Kompakt zeigt nur die Symbole. Erweitert zeigt die Namen der Apps dazu; dann "
                           "passen weniger Apps in die Leiste, der Rest steht im Menü „Weitere Apps“.")))
        ->add(
            page, K("Kompakt (nur Symbole)"), [s] { return s->toolbarCompact(); },
            [s] { s->setToolbarCompact(true); })
        ->add(
            page, K("Erweitert (mit Namen)"), [s] { return !s->toolbarCompact(); },
            [s] { s->setToolbarCompact(false); });

    SettingsBlock *apps = page->addBlock(
        K("Apps in der Leiste"), K("Anwendungen lassen sich auch aus dem Dateimanager direkt auf die Leiste "
                                   "ziehen."));
    QLabel *count = secondary(apps);
    count->setObjectName(QStringLiteral("appCount"));
    apps->content()->addWidget(count);
    QHBoxLayout *r = row(apps->content());
    QPushButton *edit = button(apps, K("Leiste anpassen …"));
    edit->setObjectName(QStringLiteral("editToolbar"));
    QObject::connect(edit, &QPushButton::clicked, edit,
                     [r = &parts.requests] { openSheet(r, &WindowRequests::setShowToolbarEditor); });
    QPushButton *clear = button(apps, K("Alle Apps aus der Leiste entfernen …"));
    clear->setObjectName(QStringLiteral("removeApps"));
    QObject::connect(clear, &QPushButton::clicked, clear,
                     [c = &parts.commands] { c->removeAllToolbarApps(); });
    r->addWidget(edit);
    r->addWidget(clear);
    r->addStretch();
    page->onRefresh([count, clear, edit, s] {
        const int n = int(s->toolbarApps().size());
        count->setText(LF("%@ von %@", n, ToolbarApps::maxToolbarApps));
        clear->setEnabled(n > 0);
        edit->setEnabled(canShow(Sheet::toolbarEditor));
    });
    EnvironmentValues::follow(count, [page] { page->refresh(); });
    return page;
}

SettingsPage *filesPage(const SettingsPageParts &parts) {
    auto *page = new SettingsPage(
        parts, SettingsPage::ResetText{
                   K("Dateiverhalten zurücksetzen?"),
                   K("Unsichtbare Dateien werden ausgeblendet, und das automatische Aufräumen wird "
                     "ausgeschaltet. Deine Aufräum-Regeln bleiben gespeichert."),
                   R::file});
    toggle(page, page->addBlock(K("Anzeige")), K("Unsichtbare Dateien anzeigen  (⌘⇧.)"),
           Settings::Key::showHidden);
    SettingsBlock *cleanup = page->addBlock(
        K("Aufräumen"), K("Das automatische Aufräumen ist standardmäßig aus. Regeln verschieben "
                          "Dateien nach deinen Vorgaben, alles lässt sich mit ⌘Z zurückholen."));
    toggle(page, cleanup, K("Aufräum-Regeln automatisch ausführen"), Settings::Key::rulesAuto);
    actionRow(cleanup, K("Aufräum-Regeln bearbeiten …"), "editRules",
              [r = &parts.requests] { openSheet(r, &WindowRequests::setShowRules); });
    return page;
}

SettingsPage *backupPage(const SettingsPageParts &parts) {
    auto *page = new SettingsPage(parts, std::nullopt);
    SettingsBlock *save = page->addBlock(
        K("Einstellungen sichern"),
        K("Speichert alle Einstellungen von Kestrin in einer Datei: Darstellung, Sprache, Favoriten, Apps in "
          "der "
          "Leiste, Aufräum-Regeln und Ansichten. Lege die Datei an einen sicheren Ort, zum Beispiel in einen "
          "Cloud-Ordner oder auf ein externes Laufwerk, damit sie eine Neuinstallation des Systems "
          "übersteht."));
    actionRow(save, K("Sichern …"), "backup", [c = &parts.commands] { c->backupSettings(); });
    SettingsBlock *restore = page->addBlock(
        K("Einstellungen wiederherstellen"),
        K("Liest eine Sicherungsdatei ein und ersetzt deine jetzigen Einstellungen. Vorher fragt Kestrin "
          "nach, "
          "danach startet es neu. Die zuletzt geöffneten Ordner und die Herkunft der Dateien im Papierkorb "
          "gehören nicht zur Sicherung."));
    actionRow(restore, K("Wiederherstellen …"), "restore", [c = &parts.commands] { c->restoreSettings(); });
    return page;
}

SettingsPage *resetPage(const SettingsPageParts &parts) {
    auto *page = new SettingsPage(parts, std::nullopt);
    SettingsBlock *all = page->addBlock(
        K("Alles zurücksetzen"),
        K("Setzt Sprache, Darstellung, Fenster, Symbolleiste samt Apps und Dateiverhalten auf die "
          "Werkseinstellungen. Deine Dateien, Favoriten und Aufräum-Regeln werden nicht angefasst. Einzelne "
          "Bereiche setzt du auf ihrer eigenen Seite zurück."));
    QPushButton *b =
        actionRow(all, K("Alles zurücksetzen …"), "resetAll", [c = &parts.commands] { c->resetAll(); });
    // The destructive role: drawn in the warning colour of the palette.
    b->setProperty("destructive", true);
    QPalette p = b->palette();
    p.setColor(QPalette::ButtonText, QColor(0xd7, 0x30, 0x27));
    b->setPalette(p);
    page->addBlock(K("Bei Updates"), K("Deine Einstellungen bleiben bei Updates erhalten, solange die App "
                                       "dieselbe interne Kennung trägt. Ein neuer Build ersetzt nur das "
                                       "Programm."));
    return page;
}

} // namespace

SettingsTab::SettingsTab(const QString &symbol, const QString &title, QWidget *parent)
    : QAbstractButton(parent), m_symbol(symbol) {
    setCheckable(true);
    setText(title);
    setAccessibleName(title);
    // Clicked, never a stop of the Tab key: the page's controls come first.
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

namespace {
constexpr int tabIcon = 18;
}

QSize SettingsTab::sizeHint() const {
    const int w = QFontMetrics(font()).horizontalAdvance(text()) + 2 * tabPad;
    return {w, heightForWidth(w)};
}

int SettingsTab::heightForWidth(int width) const {
    const QRect text = QFontMetrics(font()).boundingRect(QRect(0, 0, std::max(1, width - 2 * tabPad), 1000),
                                                         Qt::AlignHCenter | Qt::TextWordWrap, this->text());
    return tabPad + tabIcon + 4 + text.height() + tabPad;
}

bool SettingsTab::fits() const {
    const QFontMetrics fm(font());
    const QRect text = fm.boundingRect(QRect(0, 0, std::max(1, width() - 2 * tabPad), 1000),
                                       Qt::AlignHCenter | Qt::TextWordWrap, this->text());
    return text.width() <= width() - 2 * tabPad && heightForWidth(width()) <= height();
}

void SettingsTab::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(2, 2, -2, -2);
    if (isChecked() || underMouse()) {
        QColor fill = palette().color(QPalette::WindowText);
        fill.setAlphaF(isChecked() ? 0.10f : 0.05f);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(r, 6, 6);
    }
    const AppTheme theme = EnvironmentValues::appTheme(this);
    const QColor tint =
        isChecked() ? theme.readable(AppTheme::schemeOf(palette())) : palette().color(QPalette::WindowText);
    Symbols::icon(m_symbol).paint(&p, QRect((width() - tabIcon) / 2, tabPad, tabIcon, tabIcon));
    p.setPen(tint);
    p.setFont(font());
    p.drawText(QRect(tabPad, tabPad + tabIcon + 4, width() - 2 * tabPad, height() - tabIcon - 2 * tabPad - 4),
               Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, text());
    FocusFrame::paint(this, p);
}

SettingsView::SettingsView(Settings &settings, WindowRequests &requests, SettingsCommands &commands,
                           QWidget *parent)
    : QWidget(parent), m_commands(&commands), m_group(new QButtonGroup(this)),
      m_scroll(new QScrollArea(this)), m_body(new QWidget) {
    const SettingsPageParts parts{settings, requests, commands};
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidget(m_body);
    // A page's own changes of height reach the view through its holder.
    m_body->installEventFilter(this);
    struct Tab {
        SettingsPage *(*make)(const SettingsPageParts &);
        const char *title;
        const char *symbol;
    };
    const Tab tabs[] = {
        {generalPage, K("Allgemein"), "globe"},
        {appearancePage, K("Darstellung"), "paintpalette"},
        {windowPage, K("Fenster"), "rectangle.split.2x1"},
        {toolbarPage, K("Symbolleiste"), "menubar.rectangle"},
        {filesPage, K("Dateien"), "folder"},
        {backupPage, K("Sicherung"), "externaldrive"},
        {resetPage, K("Zurücksetzen"), "arrow.counterclockwise"},
    };
    for (const Tab &t : tabs) {
        auto *tab = new SettingsTab(QString::fromLatin1(t.symbol), L(t.title), this);
        m_group->addButton(tab, int(m_tabs.size()));
        m_tabs << tab;
        SettingsPage *page = t.make(parts);
        page->setParent(m_body);
        page->hide();
        m_pages << page;
    }
    // The page follows its tab however the tab was chosen: a click, or an assistive tool that toggles it.
    connect(m_group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) setCurrentIndex(id);
    });
    setFixedWidth(contentWidth());
    m_current = -1;
    setCurrentIndex(0);
}

void SettingsView::setCurrentIndex(int index) {
    if (index < 0 || index >= count() || index == m_current) return;
    if (m_current >= 0) m_pages[m_current]->hide();
    m_current = index;
    m_tabs[index]->setChecked(true);
    m_pages[index]->show();
    m_scroll->verticalScrollBar()->setValue(0);
    place();
    updateGeometry();
    // The window takes the height of the page shown.
    if (QWidget *w = window(); w && w != this) w->adjustSize();
    emit currentChanged(index);
}

// Each tab as wide as its longest word, and the titles wrap.
QList<int> SettingsView::leastTabWidths() const {
    QList<int> least;
    for (SettingsTab *t : m_tabs) {
        const QFontMetrics fm(t->font());
        int longest = 0;
        for (const QString &word : t->text().split(u' ', Qt::SkipEmptyParts))
            longest = std::max(longest, fm.horizontalAdvance(word));
        least << longest + 2 * SettingsTab::tabPad + 2;
    }
    return least;
}

int SettingsView::contentWidth() const {
    const QList<int> least = leastTabWidths();
    return std::max(kWidth, std::accumulate(least.cbegin(), least.cend(), 0));
}

// Each tab as wide as its title on one line when all fit; otherwise as wide as its longest word. What is
// left is shared out evenly.
QList<int> SettingsView::tabWidths() const {
    const QList<int> least = leastTabWidths();
    const int all = contentWidth();
    QList<int> want;
    int sumWant = 0;
    for (SettingsTab *t : m_tabs) {
        want << t->sizeHint().width();
        sumWant += want.last();
    }
    const QList<int> &base = sumWant <= all ? want : least;
    const int used = sumWant <= all ? sumWant : std::accumulate(least.cbegin(), least.cend(), 0);
    QList<int> out;
    const int n = std::max<int>(1, int(base.size()));
    for (int i = 0; i < base.size(); ++i)
        out << base[i] + std::max(0, all - used) / n;
    return out;
}

int SettingsView::tabHeight() const {
    int h = 0;
    const QList<int> widths = tabWidths();
    for (int i = 0; i < count(); ++i)
        h = std::max(h, m_tabs[i]->heightForWidth(widths[i]));
    return h + 8;
}

int SettingsView::pageHeight(int width) const {
    const SettingsPage *current = page(m_current);
    if (!current) return 0;
    const int h = current->heightForWidth(width);
    return h < 0 ? current->sizeHint().height() : h;
}

// Room for the window's title bar and frame, which the screen's available area does not leave out.
constexpr int kFrameAllowance = 40;

QSize SettingsView::sizeHint() const {
    const QScreen *screen = this->screen();
    const QRect room = screen ? screen->availableGeometry() : ScreenFit::visible();
    const int w = contentWidth();
    return {w, ScreenFit::height(tabHeight() + 1 + pageHeight(w), kFrameAllowance, room)};
}

void SettingsView::resizeEvent(QResizeEvent *) {
    place();
}

bool SettingsView::event(QEvent *e) {
    if (e->type() == QEvent::LayoutRequest || e->type() == QEvent::FontChange) {
        if (e->type() == QEvent::FontChange) setFixedWidth(contentWidth());
        updateGeometry();
        place();
    }
    return QWidget::event(e);
}

bool SettingsView::eventFilter(QObject *watched, QEvent *e) {
    if (watched == m_body && e->type() == QEvent::LayoutRequest) {
        updateGeometry();
        place();
    }
    return QWidget::eventFilter(watched, e);
}

void SettingsView::place() {
    const int all = width();
    const QList<int> widths = tabWidths();
    const int th = tabHeight();
    int used = 0;
    for (int w : widths)
        used += w;
    int x = std::max(0, (all - used) / 2);
    for (int i = 0; i < count(); ++i) {
        m_tabs[i]->setGeometry(x, 4, widths[i], th - 8);
        x += widths[i];
    }
    const int room = std::max(0, height() - th - 1);
    m_scroll->setGeometry(0, th + 1, all, room);
    // A page taller than the room scrolls, narrower by the scroll bar.
    int width = all, h = pageHeight(all);
    if (h > room) {
        width -= m_scroll->verticalScrollBar()->sizeHint().width();
        h = pageHeight(width);
    }
    m_body->resize(width, std::max(h, room));
    if (SettingsPage *p = page(m_current)) p->setGeometry(0, 0, width, m_body->height());
}
