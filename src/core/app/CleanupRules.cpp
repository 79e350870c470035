#include "core/app/CleanupRules.h"

#include "core/tools/RulesEngine.h"

#include <algorithm>

bool CleanupRules::load() {
    RulesEngine::Loaded loaded = RulesEngine::loadStored();
    m_rules = loaded.rules;
    m_unreadable = loaded.unreadable;
    return !m_unreadable;
}

void CleanupRules::setRules(const QList<CleanRule> &value) {
    // A folder or destination newly set into a Trash is not taken: it keeps its former value.
    QList<CleanRule> taken = value;
    for (CleanRule &rule : taken) {
        const auto before = std::find_if(m_rules.cbegin(), m_rules.cend(),
                                         [&](const CleanRule &r) { return r.id == rule.id; });
        const bool known = before != m_rules.cend();
        // Only what changes is looked at: every keystroke of the editor comes here.
        auto guard = [&](QString CleanRule::*field) {
            QString &now = rule.*field;
            const QString old = known ? (*before).*field : QString();
            if (now != old && RulesEngine::inTrashFolder(now)) now = old;
        };
        guard(&CleanRule::folder);
        guard(&CleanRule::destination);
    }
    m_rules = taken;
    emit rulesChanged();
    RulesEngine::save(m_rules, &m_unreadable);
}
