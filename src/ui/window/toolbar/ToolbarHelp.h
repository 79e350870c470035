#pragma once

#include <QString>

class AppState;
class QWidget;

// The help of one toolbar item: its text (already in the current language) and the manual chapter it
// belongs to. Every toolbar item gets its help through here, so the help can change in one place; a
// second call replaces the first.
void toolbarHelp(QWidget *item, AppState *app, const QString &text, int chapter);
// The same for a German key, looked up now.
void toolbarHelp(QWidget *item, AppState *app, const char *textKey, int chapter);
// Only the chapter, for an item whose parts carry their own help texts.
void toolbarHelpContext(QWidget *item, AppState *app, int chapter);

namespace ToolbarHelp {
// What an item was given: its text and chapter (0 when it has none).
QString text(const QWidget *item);
int chapter(const QWidget *item);
} // namespace ToolbarHelp
