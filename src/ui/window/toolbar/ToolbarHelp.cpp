#include "ui/window/toolbar/ToolbarHelp.h"

#include "core/localisation/Lang.h"

#include <QVariant>
#include <QWidget>

namespace {
constexpr const char *textProperty = "kestrinToolbarHelp";
constexpr const char *chapterProperty = "kestrinToolbarHelpChapter";
} // namespace

void toolbarHelp(QWidget *item, AppState *, const QString &text, int chapter) {
    if (!item) return;
    item->setProperty(textProperty, text);
    item->setProperty(chapterProperty, chapter);
    item->setToolTip(text);
    item->setAccessibleName(text);
}

void toolbarHelp(QWidget *item, AppState *app, const char *textKey, int chapter) {
    toolbarHelp(item, app, L(textKey), chapter);
}

void toolbarHelpContext(QWidget *item, AppState *, int chapter) {
    if (item) item->setProperty(chapterProperty, chapter);
}

namespace ToolbarHelp {

QString text(const QWidget *item) {
    return item ? item->property(textProperty).toString() : QString();
}

int chapter(const QWidget *item) {
    return item ? item->property(chapterProperty).toInt() : 0;
}

} // namespace ToolbarHelp
