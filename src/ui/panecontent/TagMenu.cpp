#include "ui/panecontent/TagMenu.h"

#include "core/app/ItemCommands.h"
#include "core/base/Background.h"
#include "core/localisation/Lang.h"
#include "core/model/Tags.h"
#include "ui/panecontent/ItemMenu.h"
#include "ui/style/MenuLocalizer.h"
#include "ui/style/Symbols.h"

#include <QtConcurrent>

QSet<QString> TagMenu::marks(const QStringList &paths, const std::atomic_bool *cancel, const Reader &read,
                             const QList<FileItem> &listed) {
    if (paths.isEmpty()) return {};
    const QStringList &choices = FileOps::tagChoices();
    QSet<QString> left(choices.begin(), choices.end());
    const auto narrow = [&left](const QStringList &names) {
        for (auto it = left.begin(); it != left.end();)
            it = names.contains(*it) ? std::next(it) : left.erase(it);
    };
    const auto narrowRaw = [&left](const QStringList &raw) {
        for (auto it = left.begin(); it != left.end();)
            it = FileOps::carriesName(raw, *it) ? std::next(it) : left.erase(it);
    };
    const auto stop = [&] { return left.isEmpty() || (cancel && cancel->load()); };
    if (listed.isEmpty()) {
        for (const QString &path : paths) {
            if (stop()) break;
            narrow(read ? read(path) : FileOps::tags(path));
        }
        return left;
    }
    // One pass over the listing takes the tags it holds; only what it does not show is read.
    QSet<QString> unlisted;
    unlisted.reserve(paths.size());
    for (const QString &path : paths)
        unlisted.insert(path);
    for (const FileItem &item : listed) {
        if (unlisted.isEmpty() || stop()) break;
        if (unlisted.remove(item.path())) narrowRaw(item.tags());
    }
    for (const QString &path : std::as_const(unlisted)) {
        if (stop()) break;
        narrow(read ? read(path) : FileOps::tags(path));
    }
    return left;
}

TagMenu::TagMenu(ItemCommands &items, Paths paths, std::function<void()> pick, QWidget *parent)
    : QMenu(parent), m_items(&items), m_paths(std::move(paths)), m_pick(std::move(pick)) {
    MenuLocalizer::setKey(this, K("Tags"));
    setIcon(ItemMenu::icon("tag", this));
    menuAction()->setObjectName(QStringLiteral("Tags"));
    for (const QString &name : FileOps::tagChoices()) {
        // The stored name stays German; only the title is translated.
        QAction *a = addAction(QString());
        a->setObjectName(name);
        // Keyed, so a menu that outlives a language change is re-titled with the others.
        MenuLocalizer::setKey(a, name);
        connect(a, &QAction::triggered, this, [this, name] {
            if (m_pick) m_pick();
            if (m_items) m_items->toggleTag(name, m_paths ? m_paths() : QStringList());
        });
        m_entries << a;
    }
    addSeparator();
    QAction *clear = MenuLocalizer::addAction(this, K("Tags entfernen"));
    clear->setObjectName(QStringLiteral("Tags entfernen"));
    connect(clear, &QAction::triggered, this, [this] {
        if (m_pick) m_pick();
        if (m_items) m_items->clearTags(m_paths ? m_paths() : QStringList());
    });
    connect(this, &QMenu::aboutToShow, this, &TagMenu::opening);
    // Closed before the marks are known: nobody waits for them any more.
    connect(this, &QMenu::aboutToHide, this, [this] {
        if (m_cancel && !m_marks) m_cancel->store(true);
    });
}

TagMenu::~TagMenu() {
    if (m_cancel) m_cancel->store(true);
}

QAction *TagMenu::entry(const QString &name) const {
    for (QAction *a : m_entries)
        if (a->objectName() == name) return a;
    return nullptr;
}

void TagMenu::opening() {
    // A reading still under way belongs to an earlier opening.
    if (m_cancel) m_cancel->store(true);
    m_cancel = std::make_shared<std::atomic_bool>(false);
    m_marks.reset();
    showMarks();
    const int generation = ++m_generation;
    const QStringList paths = m_paths ? m_paths() : QStringList();
    const QList<FileItem> listed = m_listed ? m_listed() : QList<FileItem>(); // shared, not copied
    auto cancel = m_cancel;
    whenDone(this, QtConcurrent::run([paths, cancel, read = m_read, listed] {
                 return marks(paths, cancel.get(), read, listed);
             }),
             [this, generation, cancel](const QSet<QString> &found) {
                 if (generation != m_generation || cancel->load()) return;
                 m_marks = found;
                 showMarks();
                 emit marksRead();
             });
}

void TagMenu::showMarks() {
    for (QAction *a : std::as_const(m_entries)) {
        const bool marked = m_marks && m_marks->contains(a->objectName());
        a->setIcon(marked ? ItemMenu::icon("checkmark", this) : QIcon());
    }
}
