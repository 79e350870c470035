#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace SelectionOrder {
// Selected paths in the order the pane gives them (natural, case-insensitive, in the interface's
// language). Callable from any thread: a large selection is ordered off the window's thread.
QStringList sorted(const QSet<QString> &paths);
} // namespace SelectionOrder
