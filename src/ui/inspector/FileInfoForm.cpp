#include "ui/inspector/FileInfoForm.h"

#include "core/app/ItemCommands.h"
#include "core/app/FileInfoState.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "core/model/Tags.h"
#include "ui/inspector/InspectorParts.h"
#include "ui/panecontent/ThumbnailView.h"
#include "ui/style/ElidedLabel.h"
#include "ui/style/EnvironmentValues.h"

#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {

FileInfoForm::SectionProvider &provider() {
    static FileInfoForm::SectionProvider p;
    return p;
}

void pixelFont(QWidget *w, double size, QFont::Weight weight = QFont::Normal) {
    QFont f = w->font();
    f.setPixelSize(int(std::lround(size)));
    f.setWeight(weight);
    w->setFont(f);
}

void dim(QWidget *w) {
    QPalette p = w->palette();
    QColor c = p.color(QPalette::WindowText);
    c.setAlphaF(0.6);
    p.setColor(QPalette::WindowText, c);
    w->setPalette(p);
}

QSet<QString> choicesIn(const QStringList &tags) {
    QSet<QString> has;
    for (const QString &t : tags)
        has.insert(t.normalized(QString::NormalizationForm_C));
    QSet<QString> out;
    for (const QString &c : FileOps::tagChoices())
        if (has.contains(c.normalized(QString::NormalizationForm_C))) out.insert(c);
    return out;
}

} // namespace

void FileInfoForm::setSectionProvider(SectionProvider p) {
    provider() = std::move(p);
}

FileInfoForm::FileInfoForm(Sides &sides, ItemCommands &items, Toasts &toasts, const QString &path,
                           qint64 refresh, QWidget *parent)
    : QWidget(parent), m_items(&items) {
    setObjectName(QStringLiteral("FileInfoForm"));
    m_state = new FileInfoState(sides, items, toasts, path, refresh, this);
    const UIScale ui = EnvironmentValues::ui(this);
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(12);
    buildHeader(stack, ui);
    buildFacts(stack, ui);
    wire(buildEditors(stack, ui));
    sync();
    m_state->load();
}

// Thumbnail, name, size, modification date.
void FileInfoForm::buildHeader(QVBoxLayout *stack, const UIScale &ui) {
    auto *header = new QHBoxLayout;
    header->setSpacing(12);
    m_thumb = new ThumbnailView(52, this);
    m_thumb->setFixedSize(56, 56);
    header->addWidget(m_thumb, 0, Qt::AlignVCenter);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    m_title = new WrappingLabel({}, this);
    m_title->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pixelFont(m_title, ui.font + 1, QFont::DemiBold);
    m_title->setMaximumHeight(m_title->fontMetrics().lineSpacing() * 2 + 2); // at most two lines
    m_size = new WrappingLabel({}, this);
    pixelFont(m_size, ui.small() + 0.5);
    dim(m_size);
    m_modified = new WrappingLabel({}, this);
    pixelFont(m_modified, ui.small());
    dim(m_modified);
    texts->addWidget(m_title);
    texts->addWidget(m_size);
    texts->addWidget(m_modified);
    header->addLayout(texts, 1);
    stack->addLayout(header);
}

// Tags, the general facts with the lock, and the further facts.
void FileInfoForm::buildFacts(QVBoxLayout *stack, const UIScale &ui) {
    auto *tags = new InspectorSection(K("Tags"), this);
    m_picker = new TagPicker(tags);
    tags->body()->addWidget(m_picker);
    m_tags = new QLineEdit(tags);
    m_tags->setPlaceholderText(L("Eigene Tags, mit Komma getrennt"));
    m_tags->setAccessibleName(L("Tags"));
    tags->body()->addWidget(m_tags);
    stack->addWidget(tags);

    m_general = new InspectorSection(K("Allgemein"), this);
    auto *rowsHost = new QWidget(m_general);
    m_generalRows = new QVBoxLayout(rowsHost);
    m_generalRows->setContentsMargins(0, 0, 0, 0);
    m_generalRows->setSpacing(6);
    m_general->body()->addWidget(rowsHost);
    m_lock = new QCheckBox(L("Geschützt"), m_general);
    pixelFont(m_lock, ui.small() + 0.5);
    if (!FileInfoState::canChangeLock()) {
        m_lock->setToolTip(L("Schützen und Freigeben braucht das Recht CAP_LINUX_IMMUTABLE (etwa als root); "
                             "Kestrin hat es nicht."));
    }
    m_general->body()->addWidget(m_lock);
    stack->addWidget(m_general);

    m_extra = new InspectorSection(K("Weitere Informationen"), this);
    m_extra->hide();
    stack->addWidget(m_extra);
}

// Name, comment, the provided parts and the preview; returns the comment's section.
InspectorSection *FileInfoForm::buildEditors(QVBoxLayout *stack, const UIScale &ui) {
    // "Hide extension" has no meaning for Linux file names: the section holds the name alone.
    auto *name = new InspectorSection(K("Name & Suffix"), this);
    m_name = new QLineEdit(name);
    m_name->setPlaceholderText(L("Name"));
    m_name->setAccessibleName(L("Name"));
    name->body()->addWidget(m_name);
    stack->addWidget(name);

    auto *comments = new InspectorSection(K("Kommentare"), this);
    m_comment = new QPlainTextEdit(comments);
    m_comment->setFixedHeight(64);
    pixelFont(m_comment, ui.small() + 0.5);
    m_comment->setFrameShape(QFrame::NoFrame);
    m_comment->setAccessibleName(L("Kommentare"));
    // A comment holds no tabs: Tab leaves the field, as it leaves every other one.
    m_comment->setTabChangesFocus(true);
    comments->body()->addWidget(m_comment);
    stack->addWidget(comments);

    // The two provided parts fold like the form's own sections.
    auto folding = [this, stack](const char *title, QWidget *part) -> InspectorSection * {
        if (!part) return nullptr;
        auto *section = new InspectorSection(title, this);
        section->body()->addWidget(part);
        stack->addWidget(section);
        // The part was made before the sections around it: Tab reaches its header first, then the part.
        QList<QWidget *> stops;
        // A widget's children follow it in the chain: the part's end where the chain leaves it.
        for (QWidget *w = part->nextInFocusChain(); w && w != part && part->isAncestorOf(w);
             w = w->nextInFocusChain())
            if ((w->focusPolicy() & Qt::TabFocus) && !w->focusProxy()) stops << w;
        QWidget *before = section->header();
        for (QWidget *w : std::as_const(stops)) {
            QWidget::setTabOrder(before, w);
            before = w;
        }
        return section;
    };
    if (provider()) m_openWith = provider()(this, Slot::openWith);
    m_openWithSection = folding(K("Öffnen mit"), m_openWith);

    auto *preview = new InspectorSection(K("Vorschau"), this);
    m_preview = new ThumbnailView(200, preview);
    m_preview->setFixedHeight(210);
    m_preview->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    preview->body()->addWidget(m_preview);
    stack->addWidget(preview);

    if (provider()) m_permissions = provider()(this, Slot::permissions);
    folding(K("Teilen & Zugriffsrechte"), m_permissions);
    stack->addStretch(1);
    return comments;
}

void FileInfoForm::wire(InspectorSection *comments) {
    connect(m_tags, &QLineEdit::textEdited, m_state, &FileInfoState::setTagsText);
    connect(m_tags, &QLineEdit::returnPressed, m_state, &FileInfoState::applyTags);
    connect(m_name, &QLineEdit::textEdited, m_state, &FileInfoState::setNameText);
    connect(m_name, &QLineEdit::returnPressed, this, [this] {
        m_state->rename();
        emit editEnded();
    });
    connect(m_comment, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_filling) m_state->setComment(m_comment->toPlainText());
    });
    connect(m_lock, &QCheckBox::clicked, m_state, &FileInfoState::setLocked);
    connect(comments, &InspectorSection::openChanged, this, [this](bool open) {
        if (!open) m_state->saveComment();
    });
    connect(m_picker, &TagPicker::toggled, this, [this](const QString &tag) {
        if (m_items) m_items->toggleTag(tag, {m_state->path()});
        m_state->load();
    });
    for (QWidget *w :
         {static_cast<QWidget *>(m_tags), static_cast<QWidget *>(m_name), static_cast<QWidget *>(m_comment)})
        w->installEventFilter(this);

    connect(m_state, &FileInfoState::changed, this, &FileInfoForm::sync);
    connect(m_state, &FileInfoState::fieldsReset, this, &FileInfoForm::fillFields);
}

void FileInfoForm::setRefresh(qint64 token) {
    m_state->setRefresh(token);
}

bool FileInfoForm::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        const bool in = event->type() == QEvent::FocusIn;
        // However the keys came (a click on a field half out of sight, Ctrl+F6), the field is brought into
        // it.
        if (in)
            for (QWidget *up = parentWidget(); up; up = up->parentWidget())
                if (auto *area = qobject_cast<QScrollArea *>(up)) {
                    area->ensureWidgetVisible(static_cast<QWidget *>(watched), 0, 8);
                    break;
                }
        if (watched == m_tags) m_state->setFocused(FileInfoState::Field::tags, in);
        if (watched == m_name) m_state->setFocused(FileInfoState::Field::name, in);
        // Left for another field or item on purpose: what is typed counts as confirmed. A menu or another
        // window taking the keys for a moment leaves it being typed.
        if (!in) {
            const Qt::FocusReason why = static_cast<QFocusEvent *>(event)->reason();
            const bool left = why == Qt::TabFocusReason || why == Qt::BacktabFocusReason ||
                              why == Qt::MouseFocusReason || why == Qt::ShortcutFocusReason;
            if (left && watched == m_name) m_state->applyName();
            if (left && watched == m_tags) m_state->applyTypedTags();
        }
        if (watched == m_comment) m_state->setFocused(FileInfoState::Field::comment, in);
    }
    // Escape takes back what was typed and leaves the field; with nothing typed it goes on (a sheet closes).
    if ((watched == m_name || watched == m_tags) && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape &&
        static_cast<QKeyEvent *>(event)->modifiers() == Qt::NoModifier) {
        auto *field = static_cast<QLineEdit *>(watched);
        const QString before = field->text();
        if (watched == m_name)
            m_state->restoreName();
        else
            m_state->restoreTags();
        const bool typed = field->text() != before;
        emit editEnded();
        return typed;
    }
    return QWidget::eventFilter(watched, event);
}

void FileInfoForm::fillFields() {
    m_filling = true;
    if (m_name->text() != m_state->nameText()) m_name->setText(m_state->nameText());
    if (m_tags->text() != m_state->tagsText()) m_tags->setText(m_state->tagsText());
    if (m_comment->toPlainText() != m_state->comment()) m_comment->setPlainText(m_state->comment());
    m_filling = false;
}

void FileInfoForm::rebuildRows(QVBoxLayout *layout, QList<QWidget *> &rows,
                               const QList<QPair<QString, QString>> &pairs) {
    qDeleteAll(rows);
    rows.clear();
    for (const auto &[label, value] : pairs) {
        auto *row = new InspectorRow(label, value, layout->parentWidget());
        layout->addWidget(row);
        rows << row;
    }
}

void FileInfoForm::sync() {
    const FullDetails &d = m_state->details();
    const QString path = m_state->path();
    if (path != m_shownPath) {
        const FileItem item = FileLoader::item(path);
        m_thumb->setItem(item);
        m_preview->setItem(item);
        m_title->setFullText(item.name);
        m_shownPath = path;
    }
    m_size->setFullText(m_state->sizeText());
    m_modified->setVisible(d.modified.has_value());
    if (d.modified) m_modified->setFullText(LF("Geändert: %@", FileFmt::date().string(*d.modified)));
    m_picker->setSet(choicesIn(d.tags));

    QList<QPair<QString, QString>> general{{QStringLiteral("Art"), d.kind},
                                           {QStringLiteral("Größe"), m_state->sizeLong()},
                                           {QStringLiteral("Ort"), InfoFmt::location(path)}};
    if (d.created) general.append({QStringLiteral("Erstellt"), InfoFmt::longDate(*d.created)});
    if (d.modified) general.append({QStringLiteral("Geändert"), InfoFmt::longDate(*d.modified)});
    if (general != m_generalShown) {
        rebuildRows(m_generalRows, m_generalList, general);
        m_generalShown = general;
    }
    m_lock->setChecked(d.locked);

    QList<QPair<QString, QString>> extra;
    for (const FullDetails::Extra &e : d.extra)
        extra.append({e.label, e.value});
    if (extra != m_extraShown) {
        rebuildRows(m_extra->body(), m_extraList, extra);
        m_extraShown = extra;
    }
    m_extra->setVisible(!extra.isEmpty());
    if (m_openWith) {
        m_openWith->setVisible(!d.isDirectory);
        m_openWithSection->setVisible(!d.isDirectory);
    }
}
