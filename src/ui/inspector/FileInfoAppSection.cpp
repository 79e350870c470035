#include "ui/inspector/FileInfoAppSection.h"

#include "core/app/Services.h"
#include "core/app/Toasts.h"
#include "core/base/Background.h"
#include "core/fileops/FileAccess.h"
#include "core/filesteps/StepTypes.h"
#include "core/fileops/FileOps.h"
#include "core/fileops/UndoJournal.h"
#include "core/localisation/Lang.h"
#include "core/model/MimeKinds.h"
#include "core/model/XattrPlist.h"
#include "platform/AppRegistry.h"
#include "platform/FileFlags.h"
#include "platform/Posix.h"
#include "ui/style/DesktopAppIcon.h"
#include "ui/style/ElidedComboBox.h"
#include "ui/style/ElidedLabel.h"
#include "ui/style/EnvironmentValues.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace {

constexpr int kAccessValues[] = {6, 4, 2, 0};
constexpr const char *kAccessTitles[] = {K("Lesen & Schreiben"), K("Nur Lesen"), K("Nur Schreiben"),
                                         K("Kein Zugriff")};
constexpr int kShifts[] = {6, 3, 0};

QString reason(int err, const QString &path) {
    return FileOps::explain(FileError::fromErrno(err), Posix::lastComponent(path));
}

// A picker narrower than its choice shows it shortened, the whole of it in the tooltip and the list.
void mayShrink(QComboBox *picker) {
    picker->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    picker->setMinimumContentsLength(4);
    QObject::connect(picker, &QComboBox::currentTextChanged, picker, &QWidget::setToolTip);
}

} // namespace

struct FileInfoAppSection::Facts {
    std::optional<FileInfoState::ItemId> id;
    QList<OpenWithApp> apps;
    std::optional<QString> override;
    QString contentType, kind;
    FileAccess::Facts access;
};

FileInfoAppSection::FileInfoAppSection(Toasts &toasts, Services &services, const QString &path,
                                       QWidget *parent)
    : QWidget(parent), m_toasts(&toasts), m_services(services), m_path(path) {
    setObjectName(QStringLiteral("fileInfoAppSection"));
    const double small = EnvironmentValues::ui(parent).small();
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(10);
    buildOpenWith(small);
    outer->addWidget(m_openWithPart);
    buildAccess(small);
    outer->addWidget(m_accessPart);
    showAccess();
    load();
}

void FileInfoAppSection::buildOpenWith(double smallFont) {
    m_openWithPart = new QWidget(this);
    m_openWithPart->setObjectName(QStringLiteral("openWithPart"));
    auto *apps = new QVBoxLayout(m_openWithPart);
    apps->setContentsMargins(0, 0, 0, 0);
    apps->setSpacing(4);
    // A long program name ends visibly where the column is narrow.
    m_appPicker = new ElidedComboBox(m_openWithPart);
    m_appPicker->setObjectName(QStringLiteral("appPicker"));
    m_appPicker->setAccessibleName(L("Öffnen mit"));
    m_appPicker->setEnabled(false);
    mayShrink(m_appPicker);
    connect(m_appPicker, &QComboBox::activated, this,
            [this](int index) { chooseApp(m_appPicker->itemData(index).toString()); });
    apps->addWidget(m_appPicker);
    auto *only = new WrappingLabel(L("Gilt nur für diese Datei."), m_openWithPart);
    QFont small = only->font();
    small.setPixelSize(int(smallFont));
    only->setFont(small);
    only->setForegroundRole(QPalette::PlaceholderText);
    apps->addWidget(only);
    m_changeAll = new QPushButton(L("Alle ändern …"), m_openWithPart);
    m_changeAll->setObjectName(QStringLiteral("changeAll"));
    m_changeAll->setEnabled(false);
    connect(m_changeAll, &QPushButton::clicked, this, &FileInfoAppSection::changeAllOfType);
    apps->addWidget(m_changeAll, 0, Qt::AlignLeft);
}

void FileInfoAppSection::buildAccess(double smallFont) {
    auto *access = new QWidget(this);
    access->setObjectName(QStringLiteral("accessPart"));
    auto *rows = new QVBoxLayout(access);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(4);
    for (int shift : kShifts) {
        auto *row = new QHBoxLayout;
        auto *title = new ElidedLabel({}, access, Qt::ElideRight);
        title->setMinimumWidth(1);
        QFont f = title->font();
        f.setPixelSize(int(smallFont + 0.5));
        title->setFont(f);
        row->addWidget(title);
        row->addSpacing(6);
        row->addStretch(1);
        auto *picker = new QComboBox(access);
        picker->setObjectName(QStringLiteral("access%1").arg(shift));
        // Short choices, never cut: the row's title gives way instead.
        picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        for (size_t i = 0; i < std::size(kAccessValues); ++i)
            picker->addItem(L(kAccessTitles[i]), kAccessValues[i]);
        // Until the mode is known a choice would start from nothing and clear every other bit.
        picker->setEnabled(false);
        connect(picker, &QComboBox::activated, this,
                [this, picker, shift](int index) { setAccess(picker->itemData(index).toInt(), shift); });
        row->addWidget(picker);
        rows->addLayout(row);
        m_rowTitles << title;
        m_accessPickers << picker;
    }
    m_accessPart = access;
}

FileInfoAppSection::FileInfoAppSection(Toasts &toasts, Services &services, FileInfoState *form,
                                       QWidget *parent)
    : FileInfoAppSection(toasts, services, form->path(), parent) {
    QPointer<FileInfoState> state(form);
    connect(form, &FileInfoState::pathChanged, this, [this, state] {
        if (state) setPath(state->path());
    });
    // An undo of a permission change shows in the menus.
    connect(form, &FileInfoState::refreshed, this, &FileInfoAppSection::load);
}

void FileInfoAppSection::setPath(const QString &path) {
    if (path == m_path) return;
    m_path = path;
    load();
}

void FileInfoAppSection::load() {
    const quint64 generation = ++m_generation;
    const QString path = m_path;
    QPointer<FileInfoAppSection> self(this);
    whenDone(this, QtConcurrent::run([path] {
                 Facts f;
                 // Before the facts: whatever they say belongs to this item or to none.
                 f.id = FileInfoState::itemId(path);
                 f.access = FileAccess::read(path);
                 if (!f.access.isDirectory && f.access.err == 0) {
                     f.apps = OpenWithApp::list(path);
                     f.override = FileOps::openWithOverride(path);
                     f.contentType = AppRegistry::contentType(path, true);
                     f.kind = MimeKinds::kindForFile(Posix::lastComponent(path));
                 }
                 return f;
             }),
             [self, generation](const Facts &facts) {
                 if (self && generation == self->m_generation) self->apply(facts);
             });
}

void FileInfoAppSection::apply(const Facts &facts) {
    m_loaded = true;
    m_id = facts.id;
    m_accessOk = facts.access.err == 0 && facts.id;
    m_mode = facts.access.mode;
    m_owner = facts.access.owner;
    m_group = facts.access.group;
    m_apps = facts.apps;
    m_contentType = facts.contentType;
    m_kind = facts.kind;
    m_openWith = initialChoice(m_apps, facts.override);
    m_openWithPart->setVisible(!facts.access.isDirectory);
    showApps();
    showAccess();
    emit loaded();
}

QString FileInfoAppSection::initialChoice(const QList<OpenWithApp> &apps,
                                          const std::optional<QString> &override) {
    if (override) return *override;
    for (const OpenWithApp &a : apps)
        if (a.isDefault) return a.path;
    // Applications but no default: the picker starts on the first, never on an empty line.
    return apps.isEmpty() ? QString() : apps.first().path;
}

void FileInfoAppSection::showApps() {
    const QSignalBlocker block(m_appPicker);
    m_appPicker->clear();
    for (const OpenWithApp &a : m_apps)
        m_appPicker->addItem(QIcon(toolbarAppIcon(a.path, 16)),
                             a.isDefault ? LF("%@ (Standard)", a.name) : a.name, a.path);
    // Nothing known for the type: said, rather than an empty list.
    if (m_loaded && m_apps.isEmpty()) m_appPicker->addItem(L("Kein Programm"));
    m_appPicker->setCurrentIndex(m_apps.isEmpty() ? 0 : m_appPicker->findData(m_openWith));
    // Filled with its signals blocked: the tooltip that shows a shortened name whole is set here.
    m_appPicker->setToolTip(m_appPicker->currentText());
    m_appPicker->setEnabled(m_loaded && !m_apps.isEmpty());
    m_changeAll->setEnabled(m_loaded && !m_openWith.isEmpty());
}

void FileInfoAppSection::showAccess() {
    const QString titles[] = {LF("%@ (Besitzer)", m_owner), LF("%@ (Gruppe)", m_group), L("Alle anderen")};
    for (int i = 0; i < 3; ++i) {
        m_rowTitles[i]->setText(titles[i]);
        QComboBox *picker = m_accessPickers[i];
        const QSignalBlocker block(picker);
        picker->setCurrentIndex(picker->findData(int((m_mode >> kShifts[i]) & 6)));
        picker->setEnabled(m_loaded && m_accessOk);
    }
}

const OpenWithApp *FileInfoAppSection::appAt(const QString &path) const {
    for (const OpenWithApp &a : m_apps)
        if (a.path == path) return &a;
    return nullptr;
}

bool FileInfoAppSection::onLoadedItem(const std::function<void(const QString &)> &act) {
    if (m_id && FileInfoState::onSameItem(m_path, *m_id, act)) return true;
    notLoadedItem();
    return false;
}

void FileInfoAppSection::notLoadedItem() {
    if (m_toasts)
        m_toasts->show(
            LF("Unter „%@“ liegt nicht mehr das Objekt, dessen Informationen hier stehen. Es wurde "
               "nichts geändert; öffne die Informationen neu.",
               Posix::lastComponent(m_path)),
            true);
}

void FileInfoAppSection::chooseApp(const QString &appPath) {
    const QString previous = m_openWith;
    m_openWith = appPath;
    const OpenWithApp *app = appAt(appPath);
    if (!app) {
        showApps();
        return;
    }
    const std::optional<QString> chosen = app->isDefault ? std::nullopt : std::optional(app->path);
    int err = 0;
    if (!onLoadedItem([&](const QString &pinned) { err = FileOps::setOpenWithOverride(chosen, pinned); })) {
        m_openWith = previous;
        showApps();
        return;
    }
    if (err != 0) {
        // What the file has is still the old choice; the picker says so again.
        m_openWith = previous;
        // A locked item refuses every change: said as such, with the way out.
        if (m_toasts && err == EPERM && FileFlags::immutable(m_path).value_or(false))
            m_toasts->show(LF("„%@“ ist geschützt: „Öffnen mit“ lässt sich erst ändern, wenn „Geschützt“ "
                              "ausgeschaltet ist.",
                              Posix::lastComponent(m_path)),
                           true);
        else if (m_toasts)
            m_toasts->show(LF("„Öffnen mit“ ließ sich nicht ändern: %@", reason(err, m_path)), true);
    }
    showApps();
}

void FileInfoAppSection::changeAllOfType() {
    const OpenWithApp *found = appAt(m_openWith);
    if (!found || m_contentType.isEmpty() || !m_toasts) return;
    const OpenWithApp app = *found;
    const QString type = m_contentType;
    Alert a;
    a.message = LF("Alle Dokumente dieser Art mit „%@“ öffnen?", app.name);
    a.informative = LF("Das gilt dann für alle Dateien vom Typ „%@“, nicht nur für diese.", m_kind);
    a.buttons = {{L("Abbrechen"), AlertRole::cancel}, {L("Alle ändern"), AlertRole::confirm}};
    QPointer<FileInfoAppSection> self(this);
    QPointer<Toasts> toasts(m_toasts);
    m_services.dialogs.ask(a, [self, toasts, app, type](AlertAnswer answer) {
        if (answer.role != AlertRole::confirm || !toasts) return;
        const std::optional<QString> error = AppRegistry::setDefaultFor(app.path, type);
        // Success is what the system names now, not what the call said: a desktop's own list may win.
        const bool named = AppRegistry::defaultFor(type) == app.path;
        if (!error && named) {
            toasts->show(LF("„%@“ öffnet jetzt alle Dateien dieser Art.", app.name), false);
            if (self) self->load();
            return;
        }
        toasts->show(LF("Das Standardprogramm ließ sich nicht ändern: %@",
                        error ? *error : L("Das System nennt weiterhin ein anderes Programm.")),
                     true);
    });
}

void FileInfoAppSection::setAccess(int value, int shift) {
    if (!m_loaded || !m_accessOk) return;
    const FileAccess::Written w =
        FileAccess::setAccess(m_path, m_id ? ItemId{m_id->dev, m_id->ino} : ItemId{}, value, shift);
    if (w.err == ESTALE) {
        notLoadedItem();
        showAccess();
        return;
    }
    if (w.err != 0) {
        if (w.mode != 0) m_mode = w.mode;
        if (m_toasts)
            m_toasts->show(LF("Zugriffsrechte ließen sich nicht ändern: %@", reason(w.err, m_path)), true);
    } else {
        if (m_journal && w.mode != w.before && m_id)
            m_journal->record([name = Posix::lastComponent(
                                   m_path)] { return LF("Zugriffsrechte von „%@“ geändert", name); },
                              UndoAction::makeAccess({m_path, {}, {m_id->dev, m_id->ino}}, w.before, w.mode));
        m_mode = w.mode;
    }
    showAccess();
}
