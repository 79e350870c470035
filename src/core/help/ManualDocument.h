#pragma once

#include "core/localisation/AppLanguage.h"

#include <QList>
#include <QString>
#include <optional>

// One line of the manual: "# " a title, "## " a chapter heading, "- " a bullet, anything else a paragraph.
struct ManualBlock {
    enum class Kind { title, heading, bullet, para };
    Kind kind = Kind::para;
    QString text;
    bool operator==(const ManualBlock &) const = default;
};

// The manual as the manual window shows it: its own small line grammar, turned into HTML that holds no
// markup from the file itself, so a manual can't inject anything into the window.
namespace ManualDocument {

// The manual text of a language, bounded like the chapter list; nothing when missing, too large or not
// UTF-8.
std::optional<QString> load(AppLanguage lang);

QList<ManualBlock> parse(const QString &text);

// "h" and the heading's leading digits, or "h-" and the block's index when it has none.
QString anchor(const QString &heading, qsizetype index);

// The anchors of a chapter request and of the title line.
QString chapterAnchor(int number);
inline const QString topAnchor = QStringLiteral("top");

// Whether a link of the manual may be followed: web and mail links, and anchors inside the manual.
bool isAllowedLink(const QString &href);

// One line with its inline marks (**strong**, *emphasis*, `code`, [text](link)) as escaped HTML; a link
// that may not be followed keeps only its text.
QString inlineHtml(const QString &line);

// The texts the document adds: the contents caption and the link back to it under every heading.
struct Labels {
    QString contents;
    QString toContents;
};
QString html(const QList<ManualBlock> &blocks, const Labels &labels);

} // namespace ManualDocument
