#pragma once

#include <QString>

class QWidget;

// The help of one toolbar item: its text (already in the current language) and the manual chapter it
// belongs to. Every toolbar item gets its help through here, so the help can change in one place.
void toolHelp(QWidget *item, const QString &text, int chapter);
// The same for a German key, looked up now.
void toolHelp(QWidget *item, const char *textKey, int chapter);
// Only the chapter, for an item whose parts carry their own help texts.
void toolHelpContext(QWidget *item, int chapter);

namespace ToolHelp {
// What toolHelp gave an item: its text and chapter (0 when it has none).
QString text(const QWidget *item);
int chapter(const QWidget *item);
} // namespace ToolHelp
