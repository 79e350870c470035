#include "core/help/TerminalData.h"

namespace TerminalData {

namespace {

ShortcutItem row(const char *keys, const char *text) {
    return ShortcutItem(QString::fromUtf8(keys), QString::fromUtf8(text));
}

} // namespace

const QList<ShortcutGroup> &charGroupsDE() {
    static const QList<ShortcutGroup> table = {
        ShortcutGroup(QString::fromUtf8(charsTitle),
                      {row("⌥ 5", "[  Eckige Klammer auf"), row("⌥ 6", "]  Eckige Klammer zu"),
                       row("⌥ 8", "{  Geschweifte Klammer auf"), row("⌥ 9", "}  Geschweifte Klammer zu"),
                       row("⌥ 7", "|  Senkrechter Strich (Pipe)"),
                       row("⌥ ⇧ 7", "\\  Backslash (umgekehrter Schrägstrich)"),
                       row("⌥ N ␣", "~  Tilde: erst ⌥ N, dann die Leertaste"),
                       row("⇧ ´ ␣", "`  Backtick: erst ⇧ ´, dann die Leertaste"),
                       row("^ ␣", "^  Zirkumflex: erst die Taste links neben der 1, dann die Leertaste"),
                       row("⌥ L", "@  At-Zeichen"), row("⌥ E", "€  Euro-Zeichen")}),
        ShortcutGroup(QString::fromUtf8("Mit ⇧: auf den Tasten aufgedruckt, aber oft vergessen"),
                      {row("⇧ 7", "/  Schrägstrich (Slash)"), row("⇧ 6", "&  Und-Zeichen (Hintergrund, &&)"),
                       row("⇧ 4", "$  Dollarzeichen (Variablen)"), row("⇧ 2", "\"  Anführungszeichen"),
                       row("⇧ #", "'  Einfaches Anführungszeichen"), row("⇧ 8", "(  Runde Klammer auf"),
                       row("⇧ 9", ")  Runde Klammer zu"), row("⇧ 0", "=  Gleichheitszeichen"),
                       row("⇧ +", "*  Stern"), row("⇧ ,", ";  Semikolon"), row("⇧ .", ":  Doppelpunkt"),
                       row("⇧ -", "_  Unterstrich"), row("⇧ ß", "?  Fragezeichen"),
                       row("⇧ 1", "!  Ausrufezeichen"), row("⇧ <", ">  Größer als (Ausgabe umleiten)"),
                       row("<", "<  Kleiner als (Eingabe umleiten)"), row("#", "#  Raute (Kommentar)")}),
    };
    return table;
}

const QList<ShortcutGroup> &charGroupsUS() {
    static const QList<ShortcutGroup> table = {
        ShortcutGroup(QString::fromUtf8(charsTitle),
                      {row("[", "[  Eckige Klammer auf"), row("]", "]  Eckige Klammer zu"),
                       row("⇧ [", "{  Geschweifte Klammer auf"), row("⇧ ]", "}  Geschweifte Klammer zu"),
                       row("⇧ \\", "|  Senkrechter Strich (Pipe)"),
                       row("\\", "\\  Backslash (umgekehrter Schrägstrich)"), row("⇧ `", "~  Tilde"),
                       row("`", "`  Backtick")}),
    };
    return table;
}

const QList<ShortcutGroup> &charGroupsTH() {
    static const QList<ShortcutGroup> table = [] {
        QList<ShortcutItem> rows{row("⌃ ␣",
                                     "Zuerst zur lateinischen Eingabequelle wechseln, sonst schreibt die "
                                     "Thai-Tastatur Thai-Zeichen")};
        if (!charGroupsUS().isEmpty()) rows += charGroupsUS().first().items;
        return QList<ShortcutGroup>{ShortcutGroup(QString::fromUtf8(charsTitle), rows)};
    }();
    return table;
}

const QList<ShortcutGroup> &charGroups(KbLayout layout) {
    switch (layout) {
    case KbLayout::de:
        return charGroupsDE();
    case KbLayout::th:
        return charGroupsTH();
    default:
        return charGroupsUS();
    }
}

} // namespace TerminalData
