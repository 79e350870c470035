#pragma once

#include <QString>

class WindowRequests;
class QWidget;

// The help of one toolbar item: its text (already in the current language) and the manual chapter it
// belongs to. Every toolbar item gets its help through here, so the help can change in one place; a
// second call replaces the first.
void toolbarHelp(QWidget *item, WindowRequests *requests, const QString &text, int chapter);
// The same for a German key, looked up now.
void toolbarHelp(QWidget *item, WindowRequests *requests, const char *textKey, int chapter);
// Only the chapter, for an item whose parts carry their own help texts.
void toolbarHelpContext(QWidget *item, WindowRequests *requests, int chapter);

namespace ToolbarHelp {
// What an item was given: its text and chapter (0 when it has none).
QString text(const QWidget *item);
int chapter(const QWidget *item);
} // namespace ToolbarHelp
