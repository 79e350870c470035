#include "ui/help/ManualWindow.h"

#include "core/app/Settings.h"
#include "core/app/WindowRequests.h"
#include "core/help/ManualDocument.h"
#include "core/localisation/Lang.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/OwnWindow.h"

#include <QButtonGroup>
#include <QScrollBar>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace {
// The manual's links go to the web, to mail or inside the manual; nothing is loaded from anywhere, so no
// file or other resource can be reached from the text.
class ManualBrowser : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;
    QVariant loadResource(int, const QUrl &) override { return {}; }
};
} // namespace

ManualWindow::ManualWindow(Settings &settings, WindowRequests &requests)
    : QWidget(nullptr, Qt::Window), m_requests(&requests), m_lang(Lang::current()) {
    setMinimumSize(640, 520);
    resize(820, 780);
    // The application ends with its main window; an open manual alone doesn't keep it running.
    setAttribute(Qt::WA_QuitOnClose, false);
    OwnWindow::followLooks(this, &settings);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    rebuild();
    connect(&settings, &Settings::changed, this, [this](Settings::Key key) {
        using K = Settings::Key;
        if (key == K::themeID || key == K::fontSize || key == K::appearance) {
            // The text is laid out in the new size and link colour, where the reader was.
            const int at = m_document ? m_document->verticalScrollBar()->value() : 0;
            showDocument();
            if (m_document) m_document->verticalScrollBar()->setValue(at);
            return;
        }
        if (key != K::language) return;
        m_lang = Lang::current();
        rebuild();
    });
    connect(&requests, &WindowRequests::manualRequested, this, &ManualWindow::jump);
    jump();
}

ManualWindow *ManualWindow::open(Settings &settings, WindowRequests &requests) {
    static QPointer<ManualWindow> one;
    // A window left from a state that is gone would take no more chapter requests.
    if (one && one->m_requests != &requests) delete one;
    return OwnWindow::openOne(one, [&] { return new ManualWindow(settings, requests); });
}

void ManualWindow::setLanguage(AppLanguage lang) {
    if (lang == m_lang) return;
    m_lang = lang;
    if (QAbstractButton *b = m_languages->button(int(lang))) b->setChecked(true);
    showDocument();
    // A request that came while the file was missing is taken now.
    jump();
}

void ManualWindow::rebuild() {
    setWindowTitle(L("Kestrin-Handbuch"));
    OwnWindow::clearLayout(this);
    m_document = nullptr;
    delete m_languages;
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 18);
    layout->setSpacing(12);

    auto *bar = new QHBoxLayout;
    m_languages = new QButtonGroup(this);
    auto *segments = new QHBoxLayout;
    segments->setSpacing(0);
    for (AppLanguage lang : AppLanguages::allCases) {
        auto *b = new QPushButton(AppLanguages::nativeName(lang), this);
        b->setCheckable(true);
        b->setChecked(lang == m_lang);
        b->setAutoDefault(false);
        m_languages->addButton(b, int(lang));
        segments->addWidget(b);
    }
    connect(m_languages, &QButtonGroup::idClicked, this, [this](int id) { setLanguage(AppLanguage(id)); });
    auto *segmentBox = new QWidget(this);
    segmentBox->setLayout(segments);
    segmentBox->setFixedWidth(360);
    segments->setContentsMargins(0, 0, 0, 0);
    bar->addWidget(segmentBox);
    bar->addStretch();
    auto *close = new QPushButton(L("Schließen"), this);
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    bar->addWidget(close);
    layout->addLayout(bar);

    m_body = new QWidget(this);
    auto *bodyLayout = new QVBoxLayout(m_body);
    bodyLayout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_body, 1);
    showDocument();
}

void ManualWindow::showDocument() {
    OwnWindow::clearLayout(m_body);
    m_document = nullptr;
    auto *layout = new QVBoxLayout(m_body);
    layout->setContentsMargins(0, 0, 0, 0);
    const std::optional<QString> text = ManualDocument::load(m_lang);
    if (!text) {
        auto *missing = new QLabel(
            LF("Handbuch-Datei nicht gefunden (Handbuch/manual.%@.md).", AppLanguages::rawValue(m_lang)),
            m_body);
        missing->setTextFormat(Qt::PlainText);
        missing->setAlignment(Qt::AlignCenter);
        missing->setForegroundRole(QPalette::PlaceholderText);
        layout->addWidget(missing);
        return;
    }
    const UIScale ui = EnvironmentValues::ui(this);
    auto *doc = new ManualBrowser(m_body);
    doc->setOpenLinks(false);
    doc->setOpenExternalLinks(false);
    QFont font = doc->font();
    font.setPixelSize(int(ui.font + 1));
    doc->document()->setDefaultFont(font);
    // Links in the theme's colour, made readable on the window's background.
    const AppTheme theme = EnvironmentValues::appTheme(this);
    const QColor link = theme.readable(AppTheme::schemeOf(palette()));
    doc->document()->setDefaultStyleSheet(
        QStringLiteral(
            "h1 { font-size: %1px; } h2 { font-size: %2px; } a { text-decoration: none; color: %3; }")
            .arg(int(ui.font + 12))
            .arg(int(ui.font + 4))
            .arg(link.name()));
    doc->setHtml(ManualDocument::html(ManualDocument::parse(*text),
                                      {LIn(m_lang, K("Inhaltsverzeichnis")), LIn(m_lang, K("Zum Inhalt"))}));
    connect(doc, &QTextBrowser::anchorClicked, this, [doc](const QUrl &url) {
        const QString href = url.toString(QUrl::FullyEncoded);
        if (!ManualDocument::isAllowedLink(href)) return;
        if (href.startsWith(u'#'))
            doc->scrollToAnchor(url.fragment());
        else
            QDesktopServices::openUrl(url);
    });
    layout->addWidget(doc);
    m_document = doc;
}

void ManualWindow::jump() {
    if (!m_requests || !m_document || !m_requests->manualSection()) return;
    const int chapter = *m_requests->manualSection();
    m_requests->setManualSection(std::nullopt);
    QTimer::singleShot(0, m_document, [doc = QPointer<QTextBrowser>(m_document), chapter] {
        if (doc) doc->scrollToAnchor(ManualDocument::chapterAnchor(chapter));
    });
}
