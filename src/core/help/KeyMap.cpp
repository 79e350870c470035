#include "core/help/KeyMap.h"

namespace KeyMap {

QSet<QString> tokens(Qt::KeyboardModifiers modifiers) {
    QSet<QString> out;
    if (modifiers & Qt::ControlModifier) out << QStringLiteral("⌘");
    if (modifiers & Qt::ShiftModifier) out << QStringLiteral("⇧");
    if (modifiers & Qt::AltModifier) out << QStringLiteral("⌥");
    if (modifiers & Qt::MetaModifier) out << QStringLiteral("⌃");
    return out;
}

namespace {

struct Named {
    const char *token;
    const char *id; // null: no key is drawn for it
};
const Named named[] = {
    {"⌘", "cmd"}, {"⇧", "shift"},  {"⌥", "opt"},   {"⌃", "ctrl"}, {"fn", "fn"},     {"⎋", "esc"},
    {"⇥", "tab"}, {"⌫", "delete"}, {"␣", "space"}, {"–", "-"},    {"⏻", nullptr},
};

// Characters that sit elsewhere on the German keyboard than on the US one.
struct Moved {
    const char *token;
    QStringList de;
    QStringList other; // empty: no rule for the other layouts
};
const QList<Moved> &moved() {
    static const QList<Moved> table = {
        {"`", {"^"}, {"`"}},
        {"?", {"shift", "ß"}, {"shift", "/"}},
        {"/", {"shift", "7"}, {"/"}},
        {"{", {"opt", "8"}, {"shift", "["}},
        {"}", {"opt", "9"}, {"shift", "]"}},
        {"|", {"opt", "7"}, {"shift", "\\"}},
        {"[", {"opt", "5"}, {"["}},
        {"]", {"opt", "6"}, {"]"}},
        {":", {"shift", "."}, {"shift", ";"}},
        {";", {"shift", ","}, {";"}},
        {"+", {"+"}, {"shift", "="}},
        {"ß", {"ß"}, {}},
    };
    return table;
}

} // namespace

QStringList ids(const QString &token, KbLayout layout) {
    for (const Named &n : named)
        if (token == QString::fromUtf8(n.token))
            return n.id ? QStringList{QString::fromUtf8(n.id)} : QStringList();
    for (const Moved &m : moved()) {
        if (token != QString::fromUtf8(m.token)) continue;
        if (layout == KbLayout::de) return m.de;
        if (!m.other.isEmpty()) return m.other;
        break;
    }
    // Brightness, volume and similar keys are not drawn.
    for (const char *prefix : {"Helligkeit", "Lauter", "Mission", "Tastatur"})
        if (token.startsWith(QLatin1String(prefix))) return {};
    return {token.toUpper()};
}

QSet<QString> ids(const QStringList &tokens, KbLayout layout) {
    QSet<QString> out;
    for (const QString &token : tokens)
        for (const QString &id : ids(token, layout))
            out << id;
    return out;
}

} // namespace KeyMap
