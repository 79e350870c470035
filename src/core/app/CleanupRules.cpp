#include "core/app/CleanupRules.h"

#include "core/tools/RulesEngine.h"

bool CleanupRules::load() {
    RulesEngine::Loaded loaded = RulesEngine::loadStored();
    m_rules = loaded.rules;
    m_unreadable = loaded.unreadable;
    return !m_unreadable;
}

void CleanupRules::setRules(const QList<CleanRule> &value) {
    m_rules = value;
    emit rulesChanged();
    RulesEngine::save(m_rules, &m_unreadable);
}
