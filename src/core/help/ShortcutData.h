#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

// One row of the shortcut reference: the keys as written ("⇧ ⌘ Z", alternatives split by " / ") and what
// they do (a German key, shown through L).
struct ShortcutItem {
    QUuid id;
    QString keys;
    QString text;

    ShortcutItem(const QString &keys, const QString &text);

    // The alternatives, each cut into its tokens at blanks.
    QList<QStringList> alternatives() const;
    // The modifier tokens (⌘ ⇧ ⌥ ⌃ fn) of the first alternative only.
    QSet<QString> modifiers() const;
};

struct ShortcutGroup {
    QUuid id;
    QString title; // German key
    QList<ShortcutItem> items;

    ShortcutGroup(const QString &title, const QList<ShortcutItem> &items);
};

// The standard shortcuts of the other desktop system that the reference sheet shows, by topic.
namespace ShortcutData {

// Built once; items keep their ids for the life of the process.
const QList<ShortcutGroup> &groups();
// Where the list comes from (a German key).
QString sourceText();
// The page the source line names.
QString sourceAddress();
// A German key in the current language, like L, but with the key symbols as written: the reference is
// about the other system's keys, so they are not renamed after the keys of this one.
QString text(const QString &key);
// The modifier tokens, in the order the table writes them.
const QStringList &modifierTokens();

} // namespace ShortcutData
