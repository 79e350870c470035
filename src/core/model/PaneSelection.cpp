#include "core/model/PaneModel.h"
#include "core/model/PaneWork.h"
#include "core/model/SelectionOrder.h"

#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"

#include <QHash>

#include <algorithm>
#include <limits>

// The selection of a pane: cursor, anchor, clicks, keys, type-to-select and what the selection tells.

using PaneWork::standardised;

namespace {

// A name without case and diacritics (É, E and e fold alike); every other character counts.
QString caseless(const QString &s) {
    const QString decomposed = s.normalized(QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    for (QChar c : decomposed)
        if (c.category() != QChar::Mark_NonSpacing) out.append(c);
    return out.toCaseFolded();
}

// Only its letters and digits, so that "IMG0015" still finds "IMG_0015.JPG".
QString lettersAndDigits(QString s) {
    s.removeIf([](QChar c) { return !c.isLetterOrNumber(); });
    return s;
}

// Counts paths into a summary. The paths of one folder share the Trash test, so a large selection costs
// one test per folder; only a trash's own "files" and "info" differ from their siblings.
class Tally {
public:
    Tally(SelectionSummary &summary, const PaneHooks *hooks)
        : m_summary(summary), m_canExtract(hooks ? hooks->canExtract : nullptr) {}

    void count(const QString &path, qsizetype sign) {
        m_summary.count += sign;
        const qsizetype slash = path.lastIndexOf(u'/');
        const QStringView name = QStringView(path).mid(slash + 1);
        if (m_canExtract && name.contains(u'.') && m_canExtract(name.toString())) m_summary.archives += sign;
        if (!inTrash(path, slash, name)) m_summary.outsideTrash += sign;
    }

private:
    bool inTrash(const QString &path, qsizetype slash, QStringView name) {
        if (slash <= 0 || name == u"files" || name == u"info") return FileLoader::isInTrash(path);
        // The views point into paths of the selections being compared, which outlive the tally.
        const QStringView folder = QStringView(path).left(slash);
        auto it = m_byFolder.constFind(folder);
        if (it == m_byFolder.constEnd()) it = m_byFolder.insert(folder, FileLoader::isInTrash(path));
        return *it;
    }

    SelectionSummary &m_summary;
    const std::function<bool(const QString &)> m_canExtract;
    QHash<QStringView, bool> m_byFolder;
};

} // namespace

void PaneModel::setSelection(const QSet<QString> &selection) {
    // A summary nobody has read since the last change is not kept up: a large selection's count costs the
    // window's thread a walk of its paths, which only a reader should pay.
    if (m_summaryKnown && m_summaryRead)
        m_summary = summaryAfter(selection);
    else
        m_summaryKnown = false;
    m_summaryRead = false;
    publish(m_selection, selection, &PaneModel::selectionChanged);
}

SelectionSummary PaneModel::summaryAfter(const QSet<QString> &next) const {
    SelectionSummary fresh;
    const auto countAfresh = [&] {
        Tally tally(fresh, m_app);
        for (const QString &path : next)
            tally.count(path, 1);
        return fresh;
    };
    if (next.isEmpty()) return fresh;
    // A small or new selection is counted afresh; a large one that changed a little only where it changed.
    if (next.size() < 64 || m_selection.isEmpty() || next.size() * 2 < m_selection.size())
        return countAfresh();
    // One pass over the larger side finds what the smaller lacks; the sizes then tell whether the smaller
    // holds anything of its own, which a selection change of one kind (only added, only removed) never does.
    const bool growing = next.size() >= m_selection.size();
    const QSet<QString> &larger = growing ? next : m_selection;
    const QSet<QString> &smaller = growing ? m_selection : next;
    const qsizetype sign = growing ? 1 : -1;
    SelectionSummary changed = m_summary;
    Tally tally(changed, m_app);
    qsizetype onlyLarger = 0;
    for (const QString &path : larger) {
        if (smaller.contains(path)) continue;
        if (++onlyLarger > next.size() / 2) return countAfresh(); // mostly another selection
        tally.count(path, sign);
    }
    if (smaller.size() > larger.size() - onlyLarger)
        for (const QString &path : smaller)
            if (!larger.contains(path)) tally.count(path, -sign);
    return changed;
}

const SelectionSummary &PaneModel::selectionSummary() const {
    if (!m_summaryKnown) {
        m_summary = {};
        Tally tally(m_summary, m_app);
        for (const QString &path : m_selection)
            tally.count(path, 1);
        m_summaryKnown = true;
    }
    m_summaryRead = true;
    return m_summary;
}

void PaneModel::setApp(PaneHooks *app) {
    m_app = app;
    // What counts as an archive comes from the hooks.
    m_summaryKnown = false;
}

void PaneModel::setCursor(const std::optional<QString> &cursor) {
    publish(m_cursor, cursor, &PaneModel::cursorChanged);
}

void PaneModel::pruneSelectionToVisible() {
    if (m_selection.isEmpty()) return;
    QSet<QString> kept;
    kept.reserve(m_selection.size());
    for (const FileItem &item : visibleItems())
        if (m_selection.contains(item.path())) kept.insert(item.path());
    if (kept != m_selection) unselectUnlisted(m_selection - kept);
}

void PaneModel::unselectUnlisted(const QSet<QString> &gone) {
    m_unlisted = gone;
    m_unlistedAt.start();
    setSelection(m_selection - gone);
}

void PaneModel::click(const FileItem &item, const QList<FileItem> &ordered, Qt::KeyboardModifiers modifiers,
                      int clickCount) {
    activateSide();
    ChangeBatch batch(this);
    const bool doubleClick = clickCount > 1;
    setCursor(item.path());
    if (modifiers & Qt::ControlModifier) {
        QSet<QString> s = m_selection;
        if (!s.remove(item.path())) s.insert(item.path());
        setSelection(s);
        m_anchor = item.path();
        return;
    }
    if ((modifiers & Qt::ShiftModifier) && m_anchor && !ordered.isEmpty()) {
        const qsizetype a = rowIn(ordered, *m_anchor);
        const qsizetype b = rowIn(ordered, item.path());
        if (a >= 0 && b >= 0) {
            QSet<QString> range;
            for (qsizetype i = std::min(a, b); i <= std::max(a, b); ++i)
                range.insert(ordered[i].path());
            setSelection(range);
            return;
        }
    }
    setSelection({item.path()});
    m_anchor = item.path();
    if (doubleClick) openItem(item);
}

void PaneModel::columnClick(const QString &dir, const FileItem &item, const QList<FileItem> &ordered,
                            Qt::KeyboardModifiers modifiers, int clickCount) {
    if (standardised(dir) == m_currentPath) {
        click(item, ordered, modifiers, clickCount);
        return;
    }
    activateSide();
    ChangeBatch batch(this);
    go(dir, false, {item.path()});
    if (clickCount > 1) openItem(item);
}

void PaneModel::contextSelect(const FileItem &item) {
    activateSide();
    ChangeBatch batch(this);
    setCursor(item.path());
    if (!m_selection.contains(item.path())) {
        setSelection({item.path()});
        m_anchor = item.path();
    }
}

void PaneModel::openItem(const FileItem &item) {
    if (item.isDirectory) {
        go(item.path(), true, {});
        return;
    }
    if (m_app && m_app->prefersExtraction && m_app->extract && m_app->prefersExtraction(item.path())) {
        m_app->extract({item.path()});
        return;
    }
    if (m_app && m_app->openFile) m_app->openFile(item.path());
}

void PaneModel::moveSelection(int delta, bool extend) {
    const QList<FileItem> list = visibleItems(); // a copy: observers may change the lists while we publish
    if (list.isEmpty()) return;
    const qint64 count = list.size();
    ChangeBatch batch(this);
    const qsizetype at = m_cursor ? rowIn(list, *m_cursor) : -1;
    qint64 target = at >= 0 ? qint64(at) + delta : delta <= 0 ? count + delta : qint64(delta) - 1;
    target = std::clamp<qint64>(target, 0, count - 1);
    const QString path = list[target].path();
    setCursor(path);
    if (extend && m_anchor) {
        const qsizetype a = rowIn(list, *m_anchor);
        if (a >= 0) {
            QSet<QString> range;
            for (qint64 i = std::min<qint64>(a, target); i <= std::max<qint64>(a, target); ++i)
                range.insert(list[i].path());
            setSelection(range);
            return;
        }
    }
    setSelection({path});
    m_anchor = path;
}

void PaneModel::selectAll() {
    const QList<FileItem> list = visibleItems();
    if (list.isEmpty()) return;
    QSet<QString> all;
    all.reserve(list.size());
    for (const FileItem &item : list)
        all.insert(item.path());
    ChangeBatch batch(this);
    setSelection(all);
    m_anchor = list.first().path();
    setCursor(list.last().path());
}

void PaneModel::selectByPrefix(const QString &prefix) {
    // A name that starts with what was typed, every character counting, comes before a near one that
    // agrees only in its letters and digits, wherever that stands in the list.
    const QList<FileItem> &list = visibleItems();
    const QString typed = caseless(prefix);
    if (typed.isEmpty()) return;
    auto hit = std::find_if(list.begin(), list.end(),
                            [&](const FileItem &item) { return caseless(item.name).startsWith(typed); });
    if (hit == list.end()) {
        const QString near = lettersAndDigits(typed);
        if (near.isEmpty()) return;
        hit = std::find_if(list.begin(), list.end(), [&](const FileItem &item) {
            return lettersAndDigits(caseless(item.name)).startsWith(near);
        });
    }
    if (hit == list.end()) return;
    const QString path = hit->path();
    ChangeBatch batch(this);
    setCursor(path);
    setSelection({path});
    m_anchor = path;
}

QStringList PaneModel::selectedPaths() const {
    return SelectionOrder::sorted(m_selection);
}

QString PaneModel::targetFolder() const {
    if (m_selection.size() == 1 && isBrowsableFolder(*m_selection.begin())) return *m_selection.begin();
    return m_currentPath;
}

std::optional<ItemId> PaneModel::shownFolder(const QString &folder) const {
    if (m_errorText || m_itemsPath.isEmpty() || FileLoader::norm(folder) != m_itemsPath ||
        !m_itemsFolder.known())
        return std::nullopt;
    return m_itemsFolder;
}

std::optional<QString> PaneModel::previewPath() const {
    if (m_selection.size() == 1 && !isBrowsableFolder(*m_selection.begin())) return *m_selection.begin();
    return std::nullopt;
}

QString PaneModel::footerText() const {
    const QList<FileItem> &visible = visibleItems();
    if (m_selection.isEmpty()) return FileFmt::count(visible.size());
    QString text = LF("%d von %d ausgewählt", m_selection.size(), visible.size());
    qint64 total = 0;
    const auto add = [&total](const FileItem &item) {
        if (item.isDirectory || item.size <= 0) return;
        // Saturate rather than wrap: the sum is only shown.
        total = item.size > std::numeric_limits<qint64>::max() - total ? std::numeric_limits<qint64>::max()
                                                                       : total + item.size;
    };
    // The header asks on every change: walk the smaller side.
    if (m_selection.size() < visible.size() / 4) {
        for (const QString &path : m_selection)
            if (const qsizetype row = visibleRow(path); row >= 0) add(visible[row]);
    } else {
        for (const FileItem &item : visible)
            if (m_selection.contains(item.path())) add(item);
    }
    if (total >= 1) text += QStringLiteral(" · ") + FileFmt::size(total);
    return text;
}
