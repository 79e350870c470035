#include "ui/help/FeedbackSheet.h"

#include "core/app/Pasteboard.h"
#include "core/app/Toasts.h"
#include "core/app/WindowRequests.h"
#include "core/localisation/Lang.h"
#include "platform/MailHandler.h"
#include "ui/help/HelpButton.h"
#include "ui/style/AppIcons.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/window/SheetPresenter.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

QLabel *heading(const char *key, QWidget *parent) {
    auto *label = new QLabel(L(key), parent);
    QFont f = label->font();
    f.setPixelSize(int(EnvironmentValues::ui(parent).small()));
    f.setWeight(QFont::DemiBold);
    label->setFont(f);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QLabel *secondary(const QString &text, const UIScale &ui, QWidget *parent) {
    auto *label = new QLabel(text, parent);
    QFont f = label->font();
    f.setPixelSize(int(ui.small()));
    label->setFont(f);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

} // namespace

std::function<bool(const QUrl &)> &FeedbackSheet::opener() {
    static std::function<bool(const QUrl &)> open = [](const QUrl &url) {
        return MailHandler::exists() && QDesktopServices::openUrl(url);
    };
    return open;
}

void FeedbackSheet::registerWith(SheetPresenter *sheets, WindowRequests &requests, Pasteboard &pasteboard,
                                 Toasts &toasts) {
    sheets->setFactory(SheetPresenter::Sheet::feedback, [&requests, &pasteboard, &toasts](QWidget *parent) {
        return new FeedbackSheet(requests, pasteboard, toasts, parent);
    });
}

FeedbackSheet::FeedbackSheet(WindowRequests &requests, Pasteboard &pasteboard, Toasts &toasts,
                             QWidget *parent)
    : QDialog(parent), m_requests(requests), m_pasteboard(pasteboard), m_toasts(toasts) {
    setWindowTitle(L("Feedback senden"));
    setFixedWidth(560);
    const UIScale ui = EnvironmentValues::ui(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(14);
    buildHeader(layout, ui);
    buildBody(layout, ui);
    buildButtons(layout);
    // Wider where the buttons' texts need it (a long language at a large size).
    setFixedWidth(std::max(560, layout->totalMinimumSize().width()));
    wire();
    refresh();
    // The system's facts come from files that are read on a worker; the preview follows them.
    FeedbackMail::loadFacts(this, [this] { refresh(); });
    m_message->setFocus();
}

void FeedbackSheet::buildHeader(QVBoxLayout *layout, const UIScale &ui) {
    auto *header = new QHBoxLayout;
    header->setSpacing(12);
    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("feedbackIcon"));
    icon->setPixmap(AppIcons::titleSymbol().pixmap(44, 44));
    icon->setFixedSize(44, 44);
    header->addWidget(icon);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(2);
    auto *title = new QLabel(L("Feedback senden"), this);
    QFont tf = title->font();
    tf.setPixelSize(int(ui.font + 5));
    tf.setWeight(QFont::DemiBold);
    title->setFont(tf);
    auto *subtitle = secondary(L("Rückmeldungen helfen, Kestrin besser zu machen."), ui, this);
    titles->addWidget(title);
    titles->addWidget(subtitle);
    header->addLayout(titles);
    header->addStretch();
    layout->addLayout(header);

    auto *kinds = new QHBoxLayout;
    kinds->setSpacing(0);
    kinds->addWidget(new QLabel(L("Art"), this));
    kinds->addSpacing(8);
    m_kinds = new QButtonGroup(this);
    for (FeedbackKind kind : FeedbackKinds::allCases) {
        auto *b = new QPushButton(L(FeedbackKinds::title(kind)), this);
        b->setCheckable(true);
        b->setAutoDefault(false);
        b->setChecked(m_requests.feedbackKind() == kind);
        m_kinds->addButton(b, FeedbackKinds::rawValue(kind));
        kinds->addWidget(b);
    }
    kinds->addStretch();
    layout->addLayout(kinds);
}

void FeedbackSheet::buildBody(QVBoxLayout *layout, const UIScale &ui) {
    auto *message = new QVBoxLayout;
    message->setSpacing(4);
    message->addWidget(heading("Deine Nachricht", this));
    m_message = new QPlainTextEdit(this);
    m_message->setTabChangesFocus(true);
    m_message->setFixedHeight(130);
    m_message->setPlainText(m_requests.feedbackText());
    message->addWidget(m_message);
    layout->addLayout(message);

    auto *facts = new QVBoxLayout;
    facts->setSpacing(4);
    facts->addWidget(heading("Technische Angaben (optional)", this));
    const std::pair<const char *, bool FeedbackMail::Options::*> toggles[] = {
        {K("App-Version und Seriennummer"), &FeedbackMail::Options::appVersion},
        {K("Linux-Version"), &FeedbackMail::Options::system},
        {K("Rechnermodell und Prozessor"), &FeedbackMail::Options::model},
        {K("Sprache der App"), &FeedbackMail::Options::language}};
    for (const auto &[key, field] : toggles) {
        auto *box = new QCheckBox(L(key), this);
        box->setChecked(true);
        connect(box, &QCheckBox::toggled, this, [this, field = field](bool on) {
            m_options.*field = on;
            refresh();
        });
        facts->addWidget(box);
    }
    layout->addLayout(facts);

    auto *preview = new QVBoxLayout;
    preview->setSpacing(4);
    preview->addWidget(heading("So sieht der E-Mail-Entwurf aus", this));
    m_preview = new QPlainTextEdit(this);
    m_preview->setReadOnly(true);
    m_preview->setFixedHeight(110);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(int(ui.small()));
    m_preview->setFont(mono);
    preview->addWidget(m_preview);
    layout->addLayout(preview);

    auto *notice =
        secondary(L("Kestrin schickt nichts selbst ab. Der Entwurf öffnet sich in deinem "
                    "Mail-Programm, und du sendest ihn selbst. Es werden keine Dateien, Dateinamen, "
                    "Ordnerpfade oder Namen angehängt."),
                  ui, this);
    notice->setWordWrap(true);
    layout->addWidget(notice);
}

void FeedbackSheet::buildButtons(QVBoxLayout *layout) {
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(new HelpButton(&m_requests, 13, this));
    m_clear = new QPushButton(L("Text löschen"), this);
    m_clear->setAutoDefault(false);
    connect(m_clear, &QPushButton::clicked, this, [this] { m_message->clear(); });
    buttons->addWidget(m_clear);
    buttons->addStretch();
    auto *close = new QPushButton(L("Schließen"), this);
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(close);
    m_copy = new QPushButton(L("Kopieren"), this);
    m_copy->setAutoDefault(false);
    connect(m_copy, &QPushButton::clicked, this, &FeedbackSheet::copy);
    buttons->addWidget(m_copy);
    m_open = new QPushButton(L("E-Mail-Entwurf öffnen"), this);
    m_open->setDefault(true);
    connect(m_open, &QPushButton::clicked, this, &FeedbackSheet::openDraft);
    buttons->addWidget(m_open);
    layout->addLayout(buttons);
}

// Kind and message live in the window requests, so a sheet opened again finds them as they were left.
void FeedbackSheet::wire() {
    connect(m_kinds, &QButtonGroup::idClicked, this, [this](int id) {
        if (const auto kind = FeedbackKinds::fromRaw(id)) m_requests.setFeedbackKind(*kind);
    });
    connect(m_message, &QPlainTextEdit::textChanged, this, [this] {
        if (m_requests.feedbackText() != m_message->toPlainText())
            m_requests.setFeedbackText(m_message->toPlainText());
    });
    connect(&m_requests, &WindowRequests::feedbackTextChanged, this, [this] {
        if (m_message->toPlainText() != m_requests.feedbackText())
            m_message->setPlainText(m_requests.feedbackText());
        refresh();
    });
    connect(&m_requests, &WindowRequests::feedbackKindChanged, this, [this] {
        if (QAbstractButton *b = m_kinds->button(FeedbackKinds::rawValue(m_requests.feedbackKind())))
            b->setChecked(true);
        refresh();
    });
}

bool FeedbackSheet::hasText() const {
    return !m_requests.feedbackText().trimmed().isEmpty();
}

QString FeedbackSheet::previewText() const {
    const QString message = hasText() ? m_requests.feedbackText() : L("(Hier steht dein Text.)");
    return L("An") + QStringLiteral(": ") + FeedbackMail::address + u'\n' + L("Betreff") +
           QStringLiteral(": ") + FeedbackMail::subject(m_requests.feedbackKind()) + QStringLiteral("\n\n") +
           FeedbackMail::body(message, m_options);
}

void FeedbackSheet::refresh() {
    const bool text = hasText();
    m_clear->setEnabled(text);
    m_copy->setEnabled(text);
    m_open->setEnabled(text);
    m_preview->setPlainText(previewText());
    m_preview->setForegroundRole(text ? QPalette::Text : QPalette::PlaceholderText);
}

void FeedbackSheet::copy() {
    m_pasteboard.setText(FeedbackMail::address + u'\n' + FeedbackMail::subject(m_requests.feedbackKind()) +
                         QStringLiteral("\n\n") + FeedbackMail::body(m_requests.feedbackText(), m_options));
    m_toasts.show(K("In die Zwischenablage kopiert. Füge den Text in eine neue E-Mail ein."));
}

void FeedbackSheet::openDraft() {
    if (!hasText()) return;
    const QString body = FeedbackMail::body(m_requests.feedbackText(), m_options);
    const std::optional<QUrl> url = FeedbackMail::url(FeedbackMail::subject(m_requests.feedbackKind()), body);
    // A link this long is cut or refused on the way, which would lose part of the message unseen.
    if (url && url->toEncoded().size() > FeedbackMail::maxUrlBytes) {
        copy();
        m_toasts.show(K("Der Entwurf ist zu lang für einen Mail-Link. Der Text liegt in der Zwischenablage."),
                      true);
        return;
    }
    if (url && opener() && opener()(*url)) {
        m_toasts.show(K("E-Mail-Entwurf geöffnet. Prüfe ihn und sende ihn selbst ab."));
        accept();
        return;
    }
    copy();
    m_toasts.show(K("Kein Mail-Programm gefunden. Der Text liegt in der Zwischenablage."), true);
}
