#pragma once

#include "core/help/KbLayout.h"
#include "core/help/ShortcutData.h"

#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

// One help text in the four interface languages; the Terminal help carries its own translations.
struct Tx {
    QString de;
    QString en;
    QString pl;
    QString th;
    // The field of the current interface language, read afresh on every call.
    QString text() const;
};

struct TermLine {
    QString code; // typed exactly so, never translated
    std::optional<Tx> note;
};

struct TermEntry {
    QUuid id;
    QString cmd;
    Tx shortText;
    Tx detail;
    QList<TermLine> lines;
    std::optional<Tx> warning;
    bool copyable = true;
    // What copying the entry puts on the clipboard: the first example line, else the label.
    QString copyText() const;
};

struct TermGroup {
    QUuid id;
    Tx title;
    QList<TermEntry> items;
};

Tx tx(const char *de, const char *en, const char *pl, const char *th);
TermLine tl(const char *code, std::optional<Tx> note = std::nullopt);
TermEntry te(const char *cmd, Tx shortText, Tx detail, QList<TermLine> lines = {},
             std::optional<Tx> warn = std::nullopt, bool copy = true);
TermGroup termGroup(Tx title, QList<TermEntry> items);

namespace TerminalData {

const QList<TermEntry> &navigateItems();
const QList<TermEntry> &filesItems();
const QList<TermEntry> &textsItems();
const QList<TermEntry> &searchItems();
const QList<TermEntry> &rightsItems();
const QList<TermEntry> &archivesItems();
const QList<TermEntry> &disksItems();
const QList<TermEntry> &systemItems();
const QList<TermEntry> &networkItems();
const QList<TermEntry> &macHelpersItems();
const QList<TermEntry> &chainingItems();
const QList<TermEntry> &zshInputItems();

// The twelve topic groups in display order; built once, so their ids hold for the process.
const QList<TermGroup> &groups();

inline constexpr const char *charsTitle = "Klammern und Zeichen für Terminal und Bash";

// Which keys type the brackets and symbols of the shell, per keyboard layout. The texts are German keys;
// every row but the Thai input-source hint starts with the character, then two blanks.
const QList<ShortcutGroup> &charGroupsDE();
const QList<ShortcutGroup> &charGroupsUS();
// The US rows after the hint to switch the input source, as the same rows (same ids).
const QList<ShortcutGroup> &charGroupsTH();
// de: the German table, th: the Thai one, every other layout (the automatic choice too): US.
const QList<ShortcutGroup> &charGroups(KbLayout layout);

} // namespace TerminalData
