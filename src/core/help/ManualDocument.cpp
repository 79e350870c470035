#include "core/help/ManualDocument.h"

#include "core/help/ManualChapters.h"

#include <QRegularExpression>
#include <QUrl>

namespace ManualDocument {
namespace {

using ManualChapters::trimBlanks;

QString escaped(QStringView text) {
    return text.toString().toHtmlEscaped();
}

// Marks nest only a few levels deep in any sensible line; deeper ones stay text.
constexpr int maxDepth = 8;

QString inlinePart(QStringView line, int depth);

// The span between a mark at `from` and its closing mark, or -1.
qsizetype closing(QStringView line, qsizetype from, QStringView mark) {
    const qsizetype end = line.indexOf(mark, from);
    return end > from ? end : -1;
}

QString inlinePart(QStringView line, int depth) {
    if (depth > maxDepth) return escaped(line);
    QString out;
    qsizetype i = 0;
    while (i < line.size()) {
        const QChar c = line[i];
        if (c == u'\\' && i + 1 < line.size() && QStringView(u"\\`*_[]()#-").contains(line[i + 1])) {
            out += escaped(line.sliced(i + 1, 1));
            i += 2;
            continue;
        }
        if (c == u'`') {
            const qsizetype end = closing(line, i + 1, u"`");
            if (end > 0) {
                out += QStringLiteral("<code>") + escaped(line.sliced(i + 1, end - i - 1)) +
                       QStringLiteral("</code>");
                i = end + 1;
                continue;
            }
        }
        if (line.sliced(i).startsWith(u"**")) {
            const qsizetype end = closing(line, i + 2, u"**");
            if (end > 0) {
                out += QStringLiteral("<b>") + inlinePart(line.sliced(i + 2, end - i - 2), depth + 1) +
                       QStringLiteral("</b>");
                i = end + 2;
                continue;
            }
        }
        if (c == u'*' && i + 1 < line.size() && !line[i + 1].isSpace()) {
            const qsizetype end = closing(line, i + 1, u"*");
            if (end > 0) {
                out += QStringLiteral("<i>") + inlinePart(line.sliced(i + 1, end - i - 1), depth + 1) +
                       QStringLiteral("</i>");
                i = end + 1;
                continue;
            }
        }
        if (c == u'[') {
            const qsizetype textEnd = line.indexOf(u"](", i + 1);
            const qsizetype hrefEnd = textEnd > 0 ? line.indexOf(u')', textEnd + 2) : -1;
            if (hrefEnd > 0) {
                const QString text = inlinePart(line.sliced(i + 1, textEnd - i - 1), depth + 1);
                const QString href = line.sliced(textEnd + 2, hrefEnd - textEnd - 2).trimmed().toString();
                if (isAllowedLink(href))
                    out += QStringLiteral("<a href=\"") + href.toHtmlEscaped() + QStringLiteral("\">") +
                           text + QStringLiteral("</a>");
                else
                    out += text;
                i = hrefEnd + 1;
                continue;
            }
        }
        out += escaped(line.sliced(i, 1));
        ++i;
    }
    return out;
}

} // namespace

std::optional<QString> load(AppLanguage lang) {
    return ManualChapters::read(ManualChapters::path(lang));
}

QList<ManualBlock> parse(const QString &text) {
    QList<ManualBlock> blocks;
    for (QStringView piece : QStringView(text).split(u'\n')) {
        // Files saved with CR LF line ends would otherwise carry the CR into every line.
        if (piece.endsWith(u'\r')) piece.chop(1);
        const QStringView line = trimBlanks(piece);
        if (line.isEmpty()) continue;
        if (line.startsWith(u"# "))
            blocks.append({ManualBlock::Kind::title, line.sliced(2).toString()});
        else if (line.startsWith(u"## "))
            blocks.append({ManualBlock::Kind::heading, line.sliced(3).toString()});
        else if (line.startsWith(u"- "))
            blocks.append({ManualBlock::Kind::bullet, line.sliced(2).toString()});
        else
            blocks.append({ManualBlock::Kind::para, line.toString()});
    }
    return blocks;
}

QString anchor(const QString &heading, qsizetype index) {
    static const QRegularExpression digits(QStringLiteral("^\\d+"),
                                           QRegularExpression::UseUnicodePropertiesOption);
    const QRegularExpressionMatch m = digits.match(heading);
    return m.hasMatch() ? u'h' + m.captured() : QStringLiteral("h-%1").arg(index);
}

QString chapterAnchor(int number) {
    return QStringLiteral("h%1").arg(number);
}

bool isAllowedLink(const QString &href) {
    static const QRegularExpression internal(QStringLiteral("^#[\\w-]+$"),
                                             QRegularExpression::UseUnicodePropertiesOption);
    if (internal.match(href).hasMatch()) return true;
    const QUrl url(href, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == u"mailto") return !url.path().isEmpty();
    return (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

QString inlineHtml(const QString &line) {
    return inlinePart(line, 0);
}

QString html(const QList<ManualBlock> &blocks, const Labels &labels) {
    QList<std::pair<QString, QString>> contents;
    for (qsizetype i = 0; i < blocks.size(); ++i)
        if (blocks[i].kind == ManualBlock::Kind::heading)
            contents.append({anchor(blocks[i].text, i), blocks[i].text});

    QString box = QStringLiteral("<table width=\"100%\" cellpadding=\"12\" class=\"contents\"><tr><td>"
                                 "<p class=\"caption\"><b>%1</b></p><table width=\"100%\" cellspacing=\"6\">")
                      .arg(labels.contents.toHtmlEscaped());
    const qsizetype rows = (contents.size() + 1) / 2;
    for (qsizetype r = 0; r < rows; ++r) {
        box += QStringLiteral("<tr>");
        for (qsizetype k : {r, r + rows}) {
            box += QStringLiteral("<td width=\"50%\">");
            if (k < contents.size())
                box += QStringLiteral("<a href=\"#%1\">%2</a>")
                           .arg(contents[k].first.toHtmlEscaped(), contents[k].second.toHtmlEscaped());
            box += QStringLiteral("</td>");
        }
        box += QStringLiteral("</tr>");
    }
    box += QStringLiteral("</table></td></tr></table>");

    QString out = QStringLiteral("<html><body>");
    bool inList = false;
    for (qsizetype i = 0; i < blocks.size(); ++i) {
        const ManualBlock &b = blocks[i];
        if (inList && b.kind != ManualBlock::Kind::bullet) {
            out += QStringLiteral("</ul>");
            inList = false;
        }
        switch (b.kind) {
        case ManualBlock::Kind::title:
            out +=
                QStringLiteral("<h1><a name=\"%1\"></a>%2</h1>").arg(topAnchor, b.text.toHtmlEscaped()) + box;
            break;
        case ManualBlock::Kind::heading:
            out += QStringLiteral("<table width=\"100%\" class=\"heading\" style=\"margin-top: "
                                  "14px\"><tr><td><h2><a name=\"%1\"></a>%2</h2>"
                                  "</td><td align=\"right\" valign=\"middle\"><a href=\"#%3\">&#8593; %4</a>"
                                  "</td></tr></table>")
                       .arg(anchor(b.text, i).toHtmlEscaped(), b.text.toHtmlEscaped(), topAnchor,
                            labels.toContents.toHtmlEscaped());
            break;
        case ManualBlock::Kind::bullet:
            if (!inList) out += QStringLiteral("<ul>");
            inList = true;
            out += QStringLiteral("<li>") + inlineHtml(b.text) + QStringLiteral("</li>");
            break;
        case ManualBlock::Kind::para:
            out += QStringLiteral("<p>") + inlineHtml(b.text) + QStringLiteral("</p>");
            break;
        }
    }
    if (inList) out += QStringLiteral("</ul>");
    return out + QStringLiteral("</body></html>");
}

} // namespace ManualDocument
