#pragma once

#include "core/tools/CleanRule.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <optional>

// The cleanup rules in user order, read once at start and stored at every change. Main thread only.
class CleanupRules : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Reads the stored rules; false when they could not be read (they stay aside, the list starts empty).
    bool load();
    const QList<CleanRule> &rules() const { return m_rules; }
    void setRules(const QList<CleanRule> &value);

signals:
    void rulesChanged();

private:
    QList<CleanRule> m_rules;
    // Stored rules that could not be read, kept aside before the first save.
    std::optional<QByteArray> m_unreadable;
};
