#pragma once

#include <QSet>
#include <QString>

class PaneModel;

namespace ListedSelection {
// Selects paths in pane now and again with each listing until a listing shows them all, so a listing that
// was under way before they were made does not leave them unselected. The first of cursorAt becomes the
// cursor, brought into view. Gives up after a few seconds, once the pane shows another folder, or once
// something else was selected.
void select(PaneModel *pane, const QSet<QString> &paths, const QString &cursorAt = {});
} // namespace ListedSelection
