#include "ui/tools/RulesSheet.h"

#include "core/app/AppState.h"
#include "core/base/Background.h"
#include "core/localisation/Lang.h"
#include "core/localisation/SystemNames.h"
#include "core/tools/RulesEngine.h"
#include "ui/help/HelpButton.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/ScreenFit.h"
#include "ui/style/Symbols.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QtConcurrent/QtConcurrentRun>

namespace {

QFont sized(QFont f, double px, QFont::Weight weight = QFont::Normal) {
    f.setPixelSize(int(std::round(px)));
    f.setWeight(weight);
    return f;
}

QLabel *secondary(const QString &text, double px, QWidget *parent) {
    auto *l = new QLabel(text, parent);
    l->setFont(sized(l->font(), px));
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, p.color(QPalette::PlaceholderText));
    l->setPalette(p);
    return l;
}

// A style sheet of its own: a label inside a list row takes the view's palette otherwise.
void setColour(QLabel *label, const QColor &colour) {
    label->setStyleSheet(QStringLiteral("color: %1").arg(colour.name(QColor::HexArgb)));
}

const QColor orange(255, 149, 0);

QString leaf(const QString &path) {
    return path.section(u'/', -1);
}

} // namespace

int &RulesSheet::previewDelayMs() {
    static int ms = 200;
    return ms;
}

RulesSheet::RulesSheet(AppState *app, QWidget *parent) : QDialog(parent), m_app(app) {
    setWindowTitle(L("Aufräum-Regeln"));
    setFixedSize(ScreenFit::width(780), ScreenFit::height(560));
    m_previewTimer.setSingleShot(true);
    connect(&m_previewTimer, &QTimer::timeout, this, [this] {
        const auto i = index();
        if (!i || !m_app || !m_app->cleanupRules().rules()[*i].isValid()) return;
        const CleanRule rule = m_app->cleanupRules().rules()[*i];
        const quint64 generation = ++m_generation;
        QPointer<RulesSheet> self(this);
        // The listing may take long on a slow folder: off the main thread, and only the newest result counts.
        whenDone(this, QtConcurrent::run([rule] {
                     Preview p;
                     p.refusal = RulesEngine::refusal(rule);
                     if (!p.refusal.isEmpty()) return p;
                     p.paths = RulesEngine::matches(rule);
                     p.noTrash = rule.action == u"trash" && !p.paths.isEmpty() &&
                                 !RulesEngine::trashUsable(rule.folder);
                     return p;
                 }),
                 [self, generation](const Preview &preview) {
                     if (self && generation == self->m_generation) self->showPreview(preview);
                 });
    });
    build();
    if (m_app) {
        // Queued: a row's own check box changes the rules, and the rebuild replaces that check box.
        connect(
            &m_app->cleanupRules(), &CleanupRules::rulesChanged, this,
            [this] {
                rebuildList();
                refreshDerived();
            },
            Qt::QueuedConnection);
        connect(&m_app->settings(), &Settings::changed, this, [this](Settings::Key key) {
            if (key != Settings::Key::rulesAuto) return;
            const QSignalBlocker block(m_auto);
            m_auto->setChecked(m_app->settings().rulesAuto());
        });
        if (!m_app->cleanupRules().rules().isEmpty()) m_selected = m_app->cleanupRules().rules().first().id;
    }
    rebuildList();
    loadForm();
}

std::optional<qsizetype> RulesSheet::index() const {
    if (!m_selected || !m_app) return std::nullopt;
    const auto &rules = m_app->cleanupRules().rules();
    for (qsizetype i = 0; i < rules.size(); ++i)
        if (rules[i].id == *m_selected) return i;
    return std::nullopt;
}

void RulesSheet::select(const std::optional<QUuid> &id) {
    m_selected = id;
    rebuildList();
    loadForm();
}

void RulesSheet::build() {
    const UIScale ui = EnvironmentValues::ui(parentWidget());
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(20, 20, 20, 20);
    outer->setSpacing(12);
    buildHeader(outer, ui);
    auto *main = new QHBoxLayout;
    main->setSpacing(14);
    main->addLayout(buildList(ui));
    m_right = new QStackedWidget(this);
    auto *placeholder = secondary(L("Wähle links eine Regel oder lege eine neue an."), ui.font, m_right);
    placeholder->setAlignment(Qt::AlignCenter);
    m_right->addWidget(placeholder);
    m_right->addWidget(buildForm(ui));
    main->addWidget(m_right, 1);
    outer->addLayout(main, 1);
    buildFooter(outer, ui);
}

void RulesSheet::buildHeader(QVBoxLayout *outer, const UIScale &ui) {
    auto *title = new QLabel(L("Aufräum-Regeln"), this);
    title->setFont(sized(title->font(), ui.font + 3, QFont::DemiBold));
    outer->addWidget(title);
    auto *about = secondary(L("Dateien in einem Ordner automatisch ablegen, zum Beispiel Bildschirmfotos vom "
                              "Schreibtisch. Alles, was verschoben wird, lässt sich mit ⌘Z zurückholen."),
                            ui.small() + 0.5, this);
    about->setWordWrap(true);
    outer->addWidget(about);
}

QVBoxLayout *RulesSheet::buildList(const UIScale &ui) {
    auto *left = new QVBoxLayout;
    left->setSpacing(8);
    m_list = new QListWidget(this);
    // As tall as the sheet leaves room for: at large text sizes the buttons under it stay below its frame.
    m_list->setFixedWidth(270);
    m_list->setMinimumHeight(120);
    m_list->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (m_loading || !m_app || row < 0 || row >= m_app->cleanupRules().rules().size()) return;
        m_selected = m_app->cleanupRules().rules()[row].id;
        loadForm();
    });
    left->addWidget(m_list, 1);
    auto *buttons = new QHBoxLayout;
    auto *add = new QPushButton(Symbols::icon(QStringLiteral("plus")), L("Regel"), this);
    m_remove = new QPushButton(Symbols::icon(QStringLiteral("minus")), L("Entfernen"), this);
    connect(add, &QPushButton::clicked, this, &RulesSheet::addRule);
    connect(m_remove, &QPushButton::clicked, this, &RulesSheet::removeRule);
    buttons->addWidget(add);
    buttons->addWidget(m_remove);
    buttons->addStretch();
    left->addLayout(buttons);
    auto *example = new QPushButton(L("Beispiel: Bildschirmfotos aufräumen"), this);
    example->setFont(sized(example->font(), ui.small()));
    connect(example, &QPushButton::clicked, this, &RulesSheet::addExample);
    left->addWidget(example);
    return left;
}

QWidget *RulesSheet::buildForm(const UIScale &ui) {
    auto *form = new QWidget(m_right);
    auto *column = new QVBoxLayout(form);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addLayout(buildFields(form, ui));

    m_hint = new QLabel(L("Mindestens eine Bedingung (Name, Endung oder Alter) ist nötig, damit die Regel "
                          "nicht auf alles passt."),
                        form);
    m_hint->setWordWrap(true);
    m_hint->setFont(sized(m_hint->font(), ui.small()));
    setColour(m_hint, orange);
    column->addWidget(m_hint);
    m_refusal = new QLabel(form);
    m_refusal->setObjectName(QStringLiteral("refusal"));
    m_refusal->setTextFormat(Qt::PlainText);
    m_refusal->setWordWrap(true);
    m_refusal->setFont(sized(m_refusal->font(), ui.small()));
    setColour(m_refusal, orange);
    m_refusal->hide();
    column->addWidget(m_refusal);
    m_preview = new QWidget(form);
    m_previewLines = new QVBoxLayout(m_preview);
    m_previewLines->setContentsMargins(0, 0, 0, 0);
    m_previewLines->setSpacing(2);
    column->addWidget(m_preview);
    column->addStretch();
    return form;
}

QGridLayout *RulesSheet::buildFields(QWidget *form, const UIScale &ui) {
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(8);
    int row = 0;
    auto label = [&](const char *key) {
        QLabel *l = secondary(L(key), ui.font, form);
        grid->addWidget(l, row, 0, Qt::AlignLeft | Qt::AlignVCenter);
        return l;
    };
    auto lineEdit = [&](const char *placeholderKey,
                        const std::function<void(CleanRule &, const QString &)> &set) {
        auto *e = new QLineEdit(form);
        if (placeholderKey) e->setPlaceholderText(L(placeholderKey));
        connect(e, &QLineEdit::textEdited, this,
                [this, set](const QString &text) { edit([&](CleanRule &r) { set(r, text); }); });
        grid->addWidget(e, row, 1);
        return e;
    };

    label("Name");
    m_name = lineEdit(nullptr, [](CleanRule &r, const QString &t) { r.name = t; });
    ++row;
    label("Ordner");
    grid->addWidget(folderField(form, false, m_folder), row++, 1);
    label("Name enthält");
    m_contains = lineEdit("z. B. Bildschirmfoto", [](CleanRule &r, const QString &t) { r.nameContains = t; });
    ++row;
    label("Endungen");
    m_exts = lineEdit("z. B. png, jpg", [](CleanRule &r, const QString &t) { r.extensions = t; });
    ++row;
    label("Älter als");
    grid->addWidget(daysField(form), row++, 1);
    label("Aktion");
    grid->addWidget(actionField(form), row++, 1);
    m_destLabel = label("Ziel");
    m_destRow = folderField(form, true, m_dest);
    grid->addWidget(m_destRow, row, 1);
    grid->setColumnStretch(1, 1);
    return grid;
}

QWidget *RulesSheet::folderField(QWidget *form, bool destination, QLabel *&path) {
    auto *w = new QWidget(form);
    auto *h = new QHBoxLayout(w);
    h->setContentsMargins(0, 0, 0, 0);
    path = new QLabel(w);
    path->setTextFormat(Qt::PlainText);
    path->setMinimumWidth(80);
    path->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    h->addWidget(path, 1);
    auto *choose = new QPushButton(L("Wählen …"), w);
    connect(choose, &QPushButton::clicked, this, [this, destination] { chooseFolder(destination); });
    h->addWidget(choose);
    return w;
}

QWidget *RulesSheet::daysField(QWidget *form) {
    auto *w = new QWidget(form);
    auto *h = new QHBoxLayout(w);
    h->setContentsMargins(0, 0, 0, 0);
    m_days = new QSpinBox(w);
    m_days->setRange(0, 3650);
    m_days->setSingleStep(1);
    m_daysText = new QLabel(w);
    connect(m_days, &QSpinBox::valueChanged, this, [this](int v) {
        m_daysText->setText(LF("%d Tage (0 = egal)", v));
        if (!m_loading) edit([v](CleanRule &r) { r.olderThanDays = v; });
    });
    h->addWidget(m_days);
    h->addWidget(m_daysText);
    h->addStretch();
    return w;
}

QWidget *RulesSheet::actionField(QWidget *form) {
    auto *w = new QWidget(form);
    auto *h = new QHBoxLayout(w);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(0);
    m_action = new QButtonGroup(w);
    const std::pair<const char *, int> segments[] = {{"Verschieben nach …", 0},
                                                     {"In den Papierkorb legen", 1}};
    for (const auto &[key, id] : segments) {
        auto *b = new QPushButton(L(key), w);
        b->setCheckable(true);
        m_action->addButton(b, id);
        h->addWidget(b);
    }
    h->addStretch();
    connect(m_action, &QButtonGroup::idClicked, this, [this](int id) {
        edit([id](CleanRule &r) { r.action = id == 1 ? QStringLiteral("trash") : QStringLiteral("move"); });
    });
    return w;
}

void RulesSheet::buildFooter(QVBoxLayout *outer, const UIScale &ui) {
    m_auto = new QCheckBox(L("Regeln automatisch ausführen, solange Kestrin läuft (jede Minute)"), this);
    m_auto->setFont(sized(m_auto->font(), ui.small() + 0.5));
    m_auto->setChecked(m_app && m_app->settings().rulesAuto());
    connect(m_auto, &QCheckBox::toggled, this, [this](bool on) {
        if (m_app) m_app->settings().setRulesAuto(on);
    });
    outer->addWidget(m_auto);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(new HelpButton(&m_app->requests(), 10, this));
    m_count = secondary(QString(), ui.small(), this);
    bottom->addWidget(m_count);
    bottom->addStretch();
    auto *close = new QPushButton(L("Schließen"), this);
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    bottom->addWidget(close);
    m_run = new QPushButton(L("Jetzt ausführen"), this);
    m_run->setDefault(true);
    connect(m_run, &QPushButton::clicked, this, [this] {
        if (m_app) m_app->runRules(false);
        accept();
    });
    bottom->addWidget(m_run);
    outer->addLayout(bottom);
}

void RulesSheet::rebuildList() {
    if (!m_app) return;
    const UIScale ui = EnvironmentValues::ui(parentWidget());
    m_loading = true;
    m_list->clear();
    const auto &rules = m_app->cleanupRules().rules();
    for (qsizetype i = 0; i < rules.size(); ++i) {
        const CleanRule &r = rules[i];
        auto *item = new QListWidgetItem(m_list);
        auto *w = new QWidget;
        auto *h = new QHBoxLayout(w);
        h->setContentsMargins(4, 3, 4, 3);
        h->setSpacing(8);
        auto *on = new QCheckBox(w);
        on->setChecked(r.enabled);
        const QUuid id = r.id;
        connect(on, &QCheckBox::toggled, this, [this, id](bool checked) {
            if (!m_app) return;
            QList<CleanRule> list = m_app->cleanupRules().rules();
            for (CleanRule &rule : list)
                if (rule.id == id) rule.enabled = checked;
            m_app->cleanupRules().setRules(list);
        });
        h->addWidget(on);
        auto *texts = new QVBoxLayout;
        texts->setSpacing(1);
        auto *name = new QLabel(r.name, w);
        name->setTextFormat(Qt::PlainText);
        name->setFont(sized(name->font(), ui.font, QFont::Medium));
        texts->addWidget(name);
        auto *summary = new QLabel(r.isValid() ? r.summary() : L("unvollständig"), w);
        summary->setTextFormat(Qt::PlainText);
        summary->setFont(sized(summary->font(), ui.small()));
        if (r.isValid()) {
            summary->setWordWrap(true);
            setColour(summary, summary->palette().color(QPalette::PlaceholderText));
            texts->addWidget(summary);
        } else {
            // Dark text on an orange badge of its own reads on the plain row and on the selection alike,
            // light and dark; orange text alone is lost on the selection's blue.
            summary->setObjectName(QStringLiteral("incomplete"));
            summary->setStyleSheet(QStringLiteral("color: black; background: %1; border-radius: 3px; "
                                                  "padding: 0 4px;")
                                       .arg(orange.name()));
            texts->addWidget(summary, 0, Qt::AlignLeft);
        }
        h->addLayout(texts, 1);
        item->setSizeHint(w->sizeHint());
        m_list->setItemWidget(item, w);
    }
    const auto i = index();
    m_list->setCurrentRow(i ? int(*i) : -1);
    m_loading = false;
}

void RulesSheet::loadForm() {
    m_choiceRefusal.clear();
    showRefusal({});
    const auto i = index();
    m_remove->setEnabled(i.has_value());
    m_right->setCurrentIndex(i ? 1 : 0);
    if (i) {
        const CleanRule &r = m_app->cleanupRules().rules()[*i];
        m_loading = true;
        m_name->setText(r.name);
        m_contains->setText(r.nameContains);
        m_exts->setText(r.extensions);
        m_days->setValue(int(std::clamp<qint64>(r.olderThanDays, 0, 3650)));
        m_daysText->setText(LF("%d Tage (0 = egal)", m_days->value()));
        m_loading = false;
    }
    refreshDerived();
}

void RulesSheet::refreshDerived() {
    const auto i = index();
    bool anyRunnable = false;
    if (m_app)
        for (const CleanRule &r : m_app->cleanupRules().rules())
            anyRunnable = anyRunnable || (r.enabled && r.isValid());
    m_run->setEnabled(anyRunnable);
    m_remove->setEnabled(i.has_value());
    if (!i) {
        m_right->setCurrentIndex(0);
        m_count->hide();
        m_previewCount.reset();
        ++m_generation;
        return;
    }
    const CleanRule &r = m_app->cleanupRules().rules()[*i];
    auto pathText = [](QLabel *label, const QString &path) {
        label->setText(path.isEmpty() ? L("nicht gewählt") : path);
        // A chosen folder drops the warning colour (the style sheet's colour would stick in the palette).
        if (path.isEmpty())
            setColour(label, orange);
        else
            label->setStyleSheet(QString());
        label->setToolTip(path);
    };
    pathText(m_folder, r.folder);
    pathText(m_dest, r.destination);
    const bool move = r.action == u"move";
    m_destLabel->setVisible(move);
    m_destRow->setVisible(move);
    if (auto *b = m_action->button(r.action == u"trash" ? 1 : 0)) b->setChecked(true);
    if (r.action != u"move" && r.action != u"trash")
        for (QAbstractButton *b : m_action->buttons())
            b->setChecked(false);
    m_hint->setVisible(!r.hasCondition());
    if (!r.isValid()) {
        showRefusal({});
        m_count->hide();
        while (QLayoutItem *item = m_previewLines->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        m_preview->hide();
        m_previewCount.reset();
        m_previewTimer.stop();
        ++m_generation;
        return;
    }
    schedulePreview();
}

void RulesSheet::schedulePreview() {
    m_previewCount.reset();
    ++m_generation;
    m_previewTimer.start(previewDelayMs());
}

QString RulesSheet::refusalText() const {
    return m_refusal->isVisibleTo(this) ? m_refusal->text() : QString();
}

void RulesSheet::showRefusal(const QString &text) {
    const QString shown = text.isEmpty() ? m_choiceRefusal : text;
    m_refusal->setText(shown);
    m_refusal->setVisible(!shown.isEmpty());
}

void RulesSheet::showPreview(const Preview &preview) {
    const UIScale ui = EnvironmentValues::ui(parentWidget());
    const QStringList &paths = preview.paths;
    m_previewCount = paths.size();
    m_previewNoTrash = preview.noTrash;
    showRefusal(preview.refusal);
    m_count->setText(LF("Trifft jetzt auf %@ Dateien zu.", paths.size()));
    // A refused rule never runs: no count that says otherwise.
    m_count->setVisible(preview.refusal.isEmpty());
    while (QLayoutItem *item = m_previewLines->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_preview->setVisible(!paths.isEmpty());
    if (paths.isEmpty()) return;
    m_previewLines->addWidget(secondary(L("Betroffen wären zum Beispiel:"), ui.small(), m_preview));
    if (preview.noTrash) {
        auto *note =
            new QLabel(L("Auf diesem Volume gibt es keinen nutzbaren Papierkorb: Diese Dateien würden "
                         "übersprungen."),
                       m_preview);
        note->setObjectName(QStringLiteral("noTrashNote"));
        note->setWordWrap(true);
        note->setFont(sized(note->font(), ui.small()));
        setColour(note, orange);
        m_previewLines->addWidget(note);
    }
    for (qsizetype k = 0; k < std::min<qsizetype>(paths.size(), 4); ++k) {
        QString text = L("• ") + leaf(paths[k]);
        if (preview.noTrash) text += L(" – wird übersprungen");
        auto *line = new QLabel(text, m_preview);
        line->setTextFormat(Qt::PlainText);
        line->setFont(sized(line->font(), ui.small()));
        if (preview.noTrash) setColour(line, orange);
        m_previewLines->addWidget(line);
    }
    if (paths.size() > 4)
        m_previewLines->addWidget(secondary(LF("… und %@ weitere", paths.size() - 4), ui.small(), m_preview));
}

void RulesSheet::edit(const std::function<void(CleanRule &)> &change) {
    const auto i = index();
    if (m_loading || !i || !m_app) return;
    QList<CleanRule> list = m_app->cleanupRules().rules();
    change(list[*i]);
    m_app->cleanupRules().setRules(list);
}

void RulesSheet::addRule() {
    if (!m_app) return;
    CleanRule r;
    r.name = L("Neue Regel");
    m_app->cleanupRules().setRules(m_app->cleanupRules().rules() + QList<CleanRule>{r});
    select(r.id);
}

void RulesSheet::addExample() {
    if (!m_app) return;
    const QString home = QDir::homePath();
    CleanRule r;
    // Named in the interface language, with the user's own desktop and pictures folders.
    r.name = L("Bildschirmfotos ablegen");
    r.enabled = false;
    r.folder = SystemNames::userDir(QStringLiteral("Desktop")).value_or(home + QStringLiteral("/Desktop"));
    r.nameContains = L("Bildschirmfoto");
    r.extensions = QStringLiteral("png");
    r.destination =
        SystemNames::userDir(QStringLiteral("Pictures")).value_or(home + QStringLiteral("/Pictures")) + u'/' +
        L("Bildschirmfotos");
    m_app->cleanupRules().setRules(m_app->cleanupRules().rules() + QList<CleanRule>{r});
    select(r.id);
}

void RulesSheet::removeRule() {
    const auto i = index();
    if (!i || !m_app) return;
    QList<CleanRule> list = m_app->cleanupRules().rules();
    list.removeAt(*i);
    m_app->cleanupRules().setRules(list);
    select(list.isEmpty() ? std::nullopt : std::optional<QUuid>(list.first().id));
}

void RulesSheet::chooseFolder(bool destination) {
    const auto i = index();
    if (!i || !m_app) return;
    const CleanRule &rule = m_app->cleanupRules().rules()[*i];
    const QUuid id = rule.id;
    QPointer<RulesSheet> self(this);
    // The panel opens in the folder the field holds.
    m_app->services().dialogs.folder(
        FolderQuestion{QString(), L("Wählen …"), destination ? rule.destination : rule.folder},
        [self, id, destination](std::optional<QString> chosen) {
            // The rule is looked up again: the list may have changed while the panel was
            // open.
            if (!self || !chosen || !self->m_app) return;
            // A folder in a Trash is not taken; the form says why.
            self->m_choiceRefusal = RulesEngine::refusalFor(*chosen);
            self->showRefusal({});
            if (!self->m_choiceRefusal.isEmpty()) return;
            QList<CleanRule> list = self->m_app->cleanupRules().rules();
            for (CleanRule &r : list)
                if (r.id == id) (destination ? r.destination : r.folder) = *chosen;
            self->m_app->cleanupRules().setRules(list);
        });
}
