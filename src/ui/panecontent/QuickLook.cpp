#include "ui/panecontent/QuickLook.h"

#include "core/app/Sides.h"
#include "core/app/Toasts.h"
#include "core/app/WindowRequests.h"
#include "core/base/Background.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "core/model/FileLoader.h"
#include "core/model/PaneModel.h"
#include "ui/panecontent/FitPages.h"
#include "ui/panecontent/IconCache.h"
#include "ui/style/ScreenFit.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace {

struct Loaded {
    FileItem item;
    PreviewContent::Result result;
};

QLabel *plainLabel(QWidget *parent) {
    auto *label = new QLabel(parent);
    // Names are shown as they are: never rich text, never a mnemonic.
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

// A picture fitted into the area, centred, never drawn larger than it is.
class FitImage : public QWidget {
public:
    using QWidget::QWidget;
    void setImage(const QImage &image) {
        m_image = image;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override {
        if (m_image.isNull()) return;
        const qreal dpr = devicePixelRatioF();
        const QSize native = (QSizeF(m_image.size()) / dpr).toSize();
        const QSize shown = native.boundedTo(size()).isEmpty()
                                ? native
                                : native.scaled(native.boundedTo(size()), Qt::KeepAspectRatio);
        QPainter p(this);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRect(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown),
                    m_image);
    }

private:
    QImage m_image;
};

PreviewWindow::PreviewWindow(QWidget *parent) : QWidget(parent, Qt::Window) {
    setAttribute(Qt::WA_QuitOnClose, false);
    setFocusPolicy(Qt::StrongFocus);
    resize(ScreenFit::width(760), ScreenFit::height(600));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *bar = new QWidget(this);
    auto *barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(12, 6, 12, 6);
    m_name = plainLabel(bar);
    m_name->setObjectName(QStringLiteral("previewName"));
    QFont bold = m_name->font();
    bold.setBold(true);
    m_name->setFont(bold);
    m_position = plainLabel(bar);
    barLayout->addWidget(m_name, 1);
    barLayout->addWidget(m_position);
    layout->addWidget(bar);

    m_stack = new QStackedWidget(this);
    layout->addWidget(m_stack, 1);
    m_pages = new FitPages(m_stack);
    m_pages->setObjectName(QStringLiteral("previewPages"));
    m_text = new QPlainTextEdit(m_stack);
    m_text->setReadOnly(true);
    // The window keeps the keys: arrows move through the files, Space closes.
    m_text->setFocusPolicy(Qt::NoFocus);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_facts = new QWidget(m_stack);
    auto *factsLayout = new QVBoxLayout(m_facts);
    factsLayout->addStretch(1);
    m_icon = new QLabel(m_facts);
    m_icon->setAlignment(Qt::AlignCenter);
    m_factsText = plainLabel(m_facts);
    m_factsText->setAlignment(Qt::AlignCenter);
    m_factsText->setWordWrap(true);
    factsLayout->addWidget(m_icon);
    factsLayout->addWidget(m_factsText);
    factsLayout->addStretch(1);
    m_image = new FitImage(m_stack);
    m_stack->addWidget(m_image);
    m_stack->addWidget(m_pages);
    m_stack->addWidget(m_text);
    m_stack->addWidget(m_facts);
    m_note = plainLabel(this);
    m_note->setContentsMargins(12, 4, 12, 6);
    m_note->hide();
    layout->addWidget(m_note);
}

void PreviewWindow::setPaths(const QStringList &paths) {
    m_paths = paths;
    m_index = -1;
    showItem(0);
}

QString PreviewWindow::shownText() const {
    return m_kind == PreviewContent::Kind::text ? m_text->toPlainText() : m_factsText->text();
}

void PreviewWindow::showItem(int index) {
    if (index < 0 || index >= m_paths.size()) return;
    m_index = index;
    const QString path = m_paths[index];
    const QString name = path.section(u'/', -1);
    m_name->setText(name);
    setWindowTitle(name);
    m_position->setText(m_paths.size() > 1
                            ? localNumber(index + 1) + QStringLiteral(" / ") + localNumber(m_paths.size())
                            : QString());
    m_position->setVisible(m_paths.size() > 1);
    showFacts(path);
    m_loading = true;
    const int generation = ++m_generation;
    // The previous item's drawing, if it still runs, is no longer wanted.
    stopReading();
    const auto stop = m_stopReading = std::make_shared<std::atomic<bool>>(false);
    // Decoded for the screen, not for the window's size now: the window may still be laid out or grow.
    const QSize target = (screen() ? screen()->availableSize() : QSize(1920, 1080)) * devicePixelRatioF();
    whenDone(this,
             QtConcurrent::run(PreviewContent::readers(),
                               [path, target, stop] {
                                   return Loaded{
                                       FileLoader::item(path),
                                       PreviewContent::load(path, target, [stop] { return stop->load(); })};
                               }),
             [this, generation](const Loaded &loaded) {
                 // Another item was asked for meanwhile: its own reading shows it.
                 if (generation != m_generation) return;
                 const QString facts = [&loaded] {
                     const FileItem &item = loaded.item;
                     QStringList lines{item.name};
                     lines << (item.isDirectory ? L("Ordner") : item.kind);
                     if (!item.isDirectory) lines << FileFmt::size(item.size);
                     if (item.modified)
                         lines << L("Geändert") + QStringLiteral(": ") +
                                      FileFmt::date().string(*item.modified);
                     lines.removeAll(QString());
                     return lines.join(u'\n');
                 }();
                 m_factsText->setText(facts);
                 m_icon->setPixmap(IconCache::iconPixmap(loaded.item, 128, devicePixelRatioF()));
                 showResult(loaded.result);
                 m_loading = false;
                 emit shown();
             });
}

PreviewWindow::~PreviewWindow() {
    stopReading();
}

void PreviewWindow::stopReading() {
    if (m_stopReading) m_stopReading->store(true);
    m_stopReading.reset();
}

void PreviewWindow::hideEvent(QHideEvent *event) {
    stopReading();
    QWidget::hideEvent(event);
}

void PreviewWindow::showFacts(const QString &path) {
    m_kind = PreviewContent::Kind::facts;
    m_icon->clear();
    m_factsText->setText(path.section(u'/', -1));
    m_note->hide();
    m_stack->setCurrentWidget(m_facts);
}

void PreviewWindow::showResult(const PreviewContent::Result &result) {
    using Kind = PreviewContent::Kind;
    // The pages of the previous item go.
    m_pages->setPages({});
    m_kind = result.kind;
    m_note->hide();
    m_image->setImage({});
    switch (result.kind) {
    case Kind::image:
        m_image->setImage(result.images.value(0));
        m_stack->setCurrentWidget(m_image);
        break;
    case Kind::pdf: {
        m_pages->setPages(result.images);
        if (result.pageCount > result.images.size()) {
            m_note->setText(LF("Seite 1–%d von %d", int(result.images.size()), result.pageCount));
            m_note->show();
        }
        m_stack->setCurrentWidget(m_pages);
        break;
    }
    case Kind::text:
        m_text->setPlainText(result.text);
        if (result.truncated) {
            m_note->setText(L("Nur der Anfang der Datei wird gezeigt."));
            m_note->show();
        }
        m_stack->setCurrentWidget(m_text);
        break;
    case Kind::facts:
        m_stack->setCurrentWidget(m_facts);
        break;
    }
}

void PreviewWindow::keyPressEvent(QKeyEvent *event) {
    const auto mods = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const int key = event->key();
    if ((mods == Qt::NoModifier && (key == Qt::Key_Space || key == Qt::Key_Escape)) ||
        (mods == Qt::ControlModifier && key == Qt::Key_Y)) {
        emit closeRequested();
        return;
    }
    if (mods == Qt::NoModifier && (key == Qt::Key_Left || key == Qt::Key_Up)) {
        showItem(m_index - 1);
        return;
    }
    if (mods == Qt::NoModifier && (key == Qt::Key_Right || key == Qt::Key_Down)) {
        showItem(m_index + 1);
        return;
    }
    QWidget::keyPressEvent(event);
}

// ---- QuickLook ----

QuickLook::QuickLook(Sides &sides, WindowRequests &requests, Toasts &toasts, QWidget *window)
    : QObject(window), m_sides(&sides), m_requests(&requests), m_toasts(&toasts), m_window(window) {
    requests.quickLook = [this] { command(); };
}

QuickLook::~QuickLook() {
    if (m_requests) m_requests->quickLook = nullptr;
    delete m_preview;
}

bool QuickLook::isVisible() const {
    return m_preview && m_preview->isVisible();
}

void QuickLook::toggle(const QStringList &paths) {
    if (isVisible()) {
        m_preview->hide();
        return;
    }
    if (!m_preview) {
        // A window of its own (no parent): it stays non-modal and may sit beside the main window.
        m_preview = new PreviewWindow();
        connect(m_preview, &PreviewWindow::closeRequested, this, [this] {
            if (m_preview) m_preview->hide();
        });
    }
    m_preview->setPaths(paths);
    m_preview->show();
    m_preview->raise();
    m_preview->activateWindow();
}

void QuickLook::command() {
    if (!m_sides || !m_toasts) return;
    if (isVisible()) {
        toggle({});
        return;
    }
    const QStringList paths = m_sides->activePane()->selectedPaths();
    if (paths.isEmpty()) {
        m_toasts->show(K("Nichts ausgewählt. Markiere eine Datei und drücke die Leertaste."));
        return;
    }
    toggle(paths);
}
