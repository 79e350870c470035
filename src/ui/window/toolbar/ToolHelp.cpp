#include "ui/window/toolbar/ToolHelp.h"

#include "core/localisation/Lang.h"

#include <QVariant>
#include <QWidget>

namespace {
constexpr const char *textProperty = "kestrinToolHelp";
constexpr const char *chapterProperty = "kestrinToolHelpChapter";
} // namespace

void toolHelp(QWidget *item, const QString &text, int chapter) {
    if (!item) return;
    item->setProperty(textProperty, text);
    item->setProperty(chapterProperty, chapter);
    item->setToolTip(text);
    item->setAccessibleName(text);
}

void toolHelp(QWidget *item, const char *textKey, int chapter) {
    toolHelp(item, L(textKey), chapter);
}

void toolHelpContext(QWidget *item, int chapter) {
    if (item) item->setProperty(chapterProperty, chapter);
}

namespace ToolHelp {

QString text(const QWidget *item) {
    return item ? item->property(textProperty).toString() : QString();
}

int chapter(const QWidget *item) {
    return item ? item->property(chapterProperty).toInt() : 0;
}

} // namespace ToolHelp
