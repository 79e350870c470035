#include "core/model/SelectionOrder.h"

#include "core/localisation/AppLanguage.h"
#include "core/localisation/Lang.h"

#include <QCollator>
#include <algorithm>

QStringList SelectionOrder::sorted(const QSet<QString> &selection) {
    QStringList paths(selection.begin(), selection.end());
    // An explicit locale: under C.UTF-8 the collator would ignore numeric mode.
    QCollator collator(AppLanguages::locale(Lang::current()));
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(paths.begin(), paths.end(), [&collator](const QString &a, const QString &b) {
        const int c = collator.compare(a, b);
        return c != 0 ? c < 0 : a < b;
    });
    return paths;
}
