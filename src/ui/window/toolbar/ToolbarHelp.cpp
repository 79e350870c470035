#include "ui/window/toolbar/ToolbarHelp.h"

#include "core/localisation/Lang.h"
#include "ui/help/HelpContext.h"
#include "ui/help/ToolHelp.h"

#include <QVariant>
#include <QWidget>

namespace {
constexpr const char *textProperty = "kestrinToolbarHelp";
constexpr const char *chapterProperty = "kestrinToolbarHelpChapter";
} // namespace

void toolbarHelp(QWidget *item, WindowRequests *requests, const QString &text, int chapter) {
    if (!item) return;
    item->setProperty(textProperty, text);
    item->setProperty(chapterProperty, chapter);
    item->setAccessibleName(text);
    // The hover card replaces the plain tooltip; a second call replaces the card's text.
    if (requests)
        toolHelp(item, requests, ToolHelp::Text([text] { return text; }), chapter);
    else
        item->setToolTip(text);
}

void toolbarHelp(QWidget *item, WindowRequests *requests, const char *textKey, int chapter) {
    toolbarHelp(item, requests, L(textKey), chapter);
}

void toolbarHelpContext(QWidget *item, WindowRequests *requests, int chapter) {
    if (!item) return;
    item->setProperty(chapterProperty, chapter);
    if (requests) helpContext(item, requests, chapter);
}

namespace ToolbarHelp {

QString text(const QWidget *item) {
    return item ? item->property(textProperty).toString() : QString();
}

int chapter(const QWidget *item) {
    return item ? item->property(chapterProperty).toInt() : 0;
}

} // namespace ToolbarHelp
