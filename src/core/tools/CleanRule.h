#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

// One cleanup rule: in one folder, the regular files whose name, extension or age match go to another
// folder or to the Trash.
struct CleanRule {
    QUuid id = QUuid::createUuid();
    QString name = QStringLiteral("Neue Regel");
    bool enabled = true;
    QString folder;
    QString nameContains;
    QString extensions;
    qint64 olderThanDays = 0;
    QString action = QStringLiteral("move"); // "move" or "trash"; anything but "trash" moves
    QString destination;

    // The extensions, lower-cased, without dots and blanks at their ends, empty pieces dropped.
    QStringList extensionList() const;
    bool hasCondition() const;
    // Complete enough to run.
    bool isValid() const;
    // The one-line description of the rule list.
    QString summary() const;

    // Strings compare by canonical equivalence.
    friend bool operator==(const CleanRule &a, const CleanRule &b);
};

namespace RulesEngine {

constexpr const char *storeKey = "cleanRules";
// Where stored rules that could not be read are kept, so that the next save does not lose them.
constexpr const char *setAsideKey = "cleanRules.unreadable";

QByteArray encode(const QList<CleanRule> &rules);
// Strict: every key of every rule present with its type, or nothing at all.
std::optional<QList<CleanRule>> decode(const QByteArray &data);

struct Loaded {
    QList<CleanRule> rules;
    // The stored value that could not be read; it is set aside before the first save.
    std::optional<QByteArray> unreadable;
};
Loaded loadStored();
QList<CleanRule> load();
// Stores the rules; a pending unreadable value is first kept under setAsideKey (and cleared).
void save(const QList<CleanRule> &rules, std::optional<QByteArray> *pendingUnreadable = nullptr);

} // namespace RulesEngine
