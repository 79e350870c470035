#include "core/localisation/KeyHints.h"

#include <QStringList>

namespace KeyHints {
namespace {

enum Mod { Ctrl = 1, Meta = 2, Alt = 4, Shift = 8 };

int modifierOf(char16_t c) {
    switch (c) {
    case u'⌘':
        return Ctrl;
    case u'⌃':
        return Meta;
    case u'⌥':
        return Alt;
    case u'⇧':
        return Shift;
    default:
        return 0;
    }
}

bool isGlyph(char16_t c) {
    return modifierOf(c) || c == u'⌫' || c == u'⌦' || c == u'↩' || c == u'⎋' || c == u'⏎';
}

QString keyName(char16_t c, bool german) {
    switch (c) {
    case u'⌫':
        return german ? QStringLiteral("Rücktaste") : QStringLiteral("Backspace");
    case u'⌦':
        return german ? QStringLiteral("Entf") : QStringLiteral("Delete");
    case u'↩':
    case u'⏎':
        return german ? QStringLiteral("Eingabe") : QStringLiteral("Enter");
    case u'⎋':
        return QStringLiteral("Esc");
    default:
        return QString(QChar(c));
    }
}

} // namespace

QString linuxize(const QString &text, AppLanguage lang) {
    bool any = false;
    for (QChar c : text)
        if (isGlyph(c.unicode())) {
            any = true;
            break;
        }
    if (!any) return text;

    const bool german = lang == AppLanguage::de;
    QString out;
    out.reserve(text.size() + 16);
    for (qsizetype i = 0; i < text.size();) {
        const char16_t c = text[i].unicode();
        if (!isGlyph(c)) {
            out += text[i++];
            continue;
        }
        int mods = 0;
        while (i < text.size() && modifierOf(text[i].unicode()))
            mods |= modifierOf(text[i++].unicode());
        QStringList parts;
        if (mods & Ctrl) parts << (german ? QStringLiteral("Strg") : QStringLiteral("Ctrl"));
        if (mods & Meta) parts << QStringLiteral("Meta");
        if (mods & Alt) parts << QStringLiteral("Alt");
        if (mods & Shift) parts << (german ? QStringLiteral("Umschalt") : QStringLiteral("Shift"));
        // The key after the modifiers, unless the hint names the modifiers alone ("hold ⌘").
        if (i < text.size() && !text[i].isSpace() && text[i] != u')' && text[i] != u',') {
            parts << keyName(text[i].unicode(), german);
            ++i;
        } else if (i < text.size() && text[i] == u',' && mods) {
            // "⌘," is the settings shortcut; a comma after a bare glyph list is punctuation.
            const bool endsHint = i + 1 >= text.size() || text[i + 1] == u')';
            if (endsHint) {
                parts << QStringLiteral(",");
                ++i;
            }
        }
        out += parts.join(u'+');
    }
    return out;
}

} // namespace KeyHints
