#include "ui/style/MenuLocalizer.h"

#include "core/localisation/Lang.h"
#include "core/localisation/Translations.h"
#include "ui/style/MenuAccessibility.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QHash>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <functional>
#include <optional>

namespace MenuLocalizer {

namespace {

constexpr const char *keyProperty = "kestrinMenuKey";
constexpr const char *hintProperty = "kestrinKeyHint";
// The mnemonic chosen for a title: the title it was chosen for, then the index of the marked character in
// it, or -1 and the letter shown after it in parentheses.
constexpr const char *mnemonicProperty = "kestrinMnemonic";
// Set on the menus reached from a menu bar, whose entries get mnemonics.
constexpr const char *barMenuProperty = "kestrinBarMenu";

std::chrono::milliseconds g_delay{250};
bool g_pending = false;
int g_passes = 0;

// Menu texts treat '&' as a mnemonic marker; a translated '&' must show as itself.
QString menuText(QString text) {
    text.replace(QLatin1Char('&'), QLatin1String("&&"));
    return text;
}

struct Mnemonic {
    QString title;
    int index = -1;
    QChar letter;
};

std::optional<Mnemonic> storedMnemonic(const QAction *action) {
    const QStringList parts = action->property(mnemonicProperty).toStringList();
    if (parts.size() != 3 || parts[2].size() != 1) return std::nullopt;
    return Mnemonic{parts[0], parts[1].toInt(), parts[2][0]};
}

void storeMnemonic(QAction *action, const Mnemonic &m) {
    action->setProperty(mnemonicProperty, QStringList{m.title, QString::number(m.index), QString(m.letter)});
}

QString marked(const Mnemonic &m, const QString &title) {
    QString out;
    out.reserve(title.size() + 6);
    for (int i = 0; i < title.size(); ++i) {
        if (i == m.index && m.title == title) out += u'&';
        out += title[i];
        if (title[i] == u'&') out += u'&';
    }
    if (m.index < 0 && m.title == title && !m.letter.isNull()) out += QStringLiteral(" (&") + m.letter + u')';
    return out;
}

bool asciiLetterOrDigit(QChar c) {
    return c.unicode() < 128 && c.isLetterOrNumber();
}

// A title's character indexes in the order they make good mnemonics: the first character of a word,
// then any other; plain Latin letters and digits first, as every keyboard layout types them with Alt.
QList<int> candidates(const QString &title) {
    QList<int> starts, rest, otherStarts, others;
    for (int i = 0; i < title.size(); ++i) {
        const QChar c = title[i];
        if (!c.isLetterOrNumber()) continue;
        const bool start = i == 0 || !title[i - 1].isLetterOrNumber();
        if (asciiLetterOrDigit(c))
            (start ? starts : rest) << i;
        else if (c.script() == QChar::Script_Latin)
            (start ? otherStarts : others) << i;
    }
    return starts + rest + otherStarts + others;
}

// The title as it stood before mnemonics and escaping, from the text an action shows.
QString plainOf(const QAction *action) {
    const QString k = key(action);
    if (!k.isEmpty()) return L(k);
    const QString shown = action->text().section(u'\t', 0, 0);
    if (const auto m = storedMnemonic(action); m && marked(*m, m->title) == shown) return m->title;
    QString plain;
    for (int i = 0; i < shown.size(); ++i) {
        if (shown[i] == u'&' && i + 1 < shown.size()) ++i;
        plain += shown[i];
    }
    return plain;
}

// Chooses mnemonics for a menu's entries that differ from each other: an entry keeps the one it has while
// its title stands; the others get a character of their own title, letters handed round between them so
// that as many as can get one. A title written in Latin letters whose letters are all taken goes without;
// only a title with none at all (a Thai one) gets a free letter after it, from its English title where it
// has one, and goes without as well once the letters are all taken: a digit in brackets beside the
// letters would read as a number.
void assignMnemonics(QWidget *menu) {
    QSet<QChar> used;
    QList<QAction *> shown, open;
    const auto actions = menu->actions();
    for (QAction *a : actions) {
        if (a->isSeparator() || !a->isVisible() || plainOf(a).isEmpty()) continue;
        shown << a;
        const auto m = storedMnemonic(a);
        if (m && m->title == plainOf(a) && !used.contains(m->letter.toLower()))
            used.insert(m->letter.toLower());
        else
            open << a;
    }
    QHash<QAction *, QString> plains;
    for (QAction *a : std::as_const(open))
        plains.insert(a, plainOf(a));
    // A matching by augmenting paths: an entry takes its best free character, and only where none is free
    // moves another one on to a character of its own.
    QHash<QChar, QAction *> holder;
    QHash<QAction *, int> chosen;
    std::function<bool(QAction *, QSet<QChar> &)> take = [&](QAction *a, QSet<QChar> &tried) {
        const QString &plain = plains[a];
        const QList<int> order = candidates(plain);
        for (int i : order) {
            const QChar c = plain[i].toLower();
            if (used.contains(c) || holder.contains(c)) continue;
            holder[c] = a;
            chosen[a] = i;
            return true;
        }
        for (int i : order) {
            const QChar c = plain[i].toLower();
            if (used.contains(c) || tried.contains(c)) continue;
            tried.insert(c);
            if (take(holder[c], tried)) {
                holder[c] = a;
                chosen[a] = i;
                return true;
            }
        }
        return false;
    };
    for (QAction *a : std::as_const(open)) {
        QSet<QChar> tried;
        take(a, tried);
    }
    for (auto it = holder.cbegin(); it != holder.cend(); ++it)
        used.insert(it.key());
    for (QAction *a : std::as_const(open)) {
        const QString &plain = plains[a];
        Mnemonic m{plain, -1, QChar()};
        if (chosen.contains(a)) {
            m.index = chosen[a];
            m.letter = plain[m.index];
        } else if (candidates(plain).isEmpty()) {
            const QString english = Translations::en().value(key(a));
            QString latin;
            for (int i : candidates(english))
                latin += english[i];
            latin += QStringLiteral("abcdefghijklmnopqrstuvwxyz");
            for (QChar c : std::as_const(latin))
                if (asciiLetterOrDigit(c) && c.isLetter() && !used.contains(c.toLower())) {
                    m.letter = c.toUpper();
                    break;
                }
            if (!m.letter.isNull()) used.insert(m.letter.toLower());
        }
        if (m.letter.isNull()) continue;
        storeMnemonic(a, m);
    }
    for (QAction *a : std::as_const(shown)) {
        const QString hint = a->text().section(u'\t', 1);
        const QString text = titled(a, plainOf(a)) + (hint.isEmpty() ? QString() : u'\t' + hint);
        if (a->text() != text) a->setText(text);
    }
}

void retitle(QAction *action) {
    const QString k = key(action);
    if (k.isEmpty()) return;
    QString text = titled(action, L(k));
    // Menus show what follows a tab in the shortcut column.
    const QString hint = action->property(hintProperty).toString();
    if (!hint.isEmpty()) text += u'\t' + hint;
    if (action->text() != text) action->setText(text);
}

void walkMenu(QWidget *menu, QSet<QWidget *> &seen, bool mnemonics) {
    if (!menu || seen.contains(menu)) return;
    seen.insert(menu);
    if (mnemonics) menu->setProperty(barMenuProperty, true);
    const auto actions = menu->actions();
    for (QAction *action : actions) {
        retitle(action);
        if (QMenu *sub = action->menu()) {
            retitle(sub->menuAction());
            walkMenu(sub, seen, mnemonics);
        }
    }
    if (mnemonics) assignMnemonics(menu);
}

class MenuWatcher : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        const auto type = event->type();
        if ((type == QEvent::ActionAdded || type == QEvent::ActionChanged) &&
            (qobject_cast<QMenu *>(watched) || qobject_cast<QMenuBar *>(watched)))
            scheduleApply();
        // A menu of the menu bar filled as it opens has its mnemonics as it shows.
        if (type == QEvent::Show && qobject_cast<QMenu *>(watched) &&
            watched->property(barMenuProperty).toBool())
            assignMnemonics(static_cast<QWidget *>(watched));
        return false;
    }
};

} // namespace

void setKey(QAction *action, const QString &k) {
    action->setProperty(keyProperty, k);
    retitle(action);
}

void setKey(QMenu *menu, const QString &k) {
    setKey(menu->menuAction(), k);
}

void setKeyHint(QAction *action, const QString &hint) {
    action->setProperty(hintProperty, hint);
    retitle(action);
}

QString key(const QAction *action) {
    return action ? action->property(keyProperty).toString() : QString();
}

QMenu *addMenu(QMenuBar *bar, const QString &k) {
    QMenu *menu = bar->addMenu(QString());
    setKey(menu, k);
    return menu;
}

QMenu *addMenu(QMenu *parent, const QString &k) {
    QMenu *menu = parent->addMenu(QString());
    setKey(menu, k);
    return menu;
}

QAction *addAction(QMenu *menu, const QString &k) {
    QAction *action = menu->addAction(QString());
    setKey(action, k);
    return action;
}

void start() {
    static bool started = false;
    if (started || !qApp) return;
    started = true;
    qApp->installEventFilter(new MenuWatcher(qApp));
    MenuAccessibility::install();
}

void scheduleApply() {
    if (!qApp) return;
    // Queued even on the main thread, so a burst of requests inside one event is one pass.
    QMetaObject::invokeMethod(
        qApp,
        [] {
            if (g_pending) return;
            g_pending = true;
            QTimer::singleShot(g_delay, qApp, [] {
                g_pending = false;
                apply();
            });
        },
        Qt::QueuedConnection);
}

void apply() {
    ++g_passes;
    QSet<QWidget *> seen;
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (auto *bar = qobject_cast<QMenuBar *>(w)) walkMenu(bar, seen, true);
        const auto bars = w->findChildren<QMenuBar *>();
        for (QMenuBar *bar : bars)
            walkMenu(bar, seen, true);
    }
}

void walk(QWidget *menu) {
    QSet<QWidget *> seen;
    walkMenu(menu, seen,
             qobject_cast<QMenuBar *>(menu) || (menu && menu->property(barMenuProperty).toBool()));
}

QString titled(const QAction *action, const QString &title) {
    if (const auto m = storedMnemonic(action); m && m->title == title) return marked(*m, title);
    return menuText(title);
}

void setDelay(std::chrono::milliseconds delay) {
    g_delay = delay;
}

int passCount() {
    return g_passes;
}

} // namespace MenuLocalizer
