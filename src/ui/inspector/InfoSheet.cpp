#include "ui/inspector/InfoSheet.h"

#include "core/app/FileInfoState.h"
#include "core/app/ItemCommands.h"
#include "core/app/WindowRequests.h"
#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "core/app/Sides.h"
#include "core/model/PaneModel.h"
#include "core/model/SizeWalk.h"
#include "ui/app/Commands.h"
#include "ui/help/HelpButton.h"
#include "ui/inspector/FileInfoForm.h"
#include "ui/style/ScreenFit.h"
#include "ui/window/SheetPresenter.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QScrollArea>
#include <QVBoxLayout>

void InfoSheet::registerWith(SheetPresenter *sheets, Sides &sides, ItemCommands &items, Toasts &toasts,
                             WindowRequests &requests, QAction *undo) {
    sheets->setFactory(
        SheetPresenter::Sheet::info,
        [&sides, &items, &toasts, &requests, undo = QPointer<QAction>(undo)](QWidget *parent) -> QDialog * {
            const auto &target = requests.infoTarget();
            auto *sheet =
                new InfoSheet(sides, items, toasts, requests, target ? target->paths : QStringList(), parent);
            if (undo) sheet->setUndo(undo);
            return sheet;
        });
}

void InfoSheet::setUndo(QAction *undo) {
    auto *key = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), this);
    connect(key, &QShortcut::activated, undo, &QAction::trigger);
}

QString InfoSheet::totalText(qint64 bytes, qint64 files) {
    QString text = FileFmt::size(bytes);
    if (files >= 2) text += QStringLiteral(" (") + LF("%d Dateien", files) + u')';
    return text;
}

InfoSheet::InfoSheet(Sides &sides, ItemCommands &items, Toasts &toasts, WindowRequests &requests,
                     const QStringList &paths, QWidget *parent)
    : QDialog(parent), m_sides(sides), m_items(items), m_toasts(toasts), m_requests(requests) {
    setObjectName(QStringLiteral("InfoSheet"));
    setWindowTitle(L("Informationen"));
    auto *done = new QPushButton(L("Fertig"), this);
    done->setDefault(true);
    done->setAutoDefault(true);
    connect(done, &QPushButton::clicked, this, &QDialog::accept);
    if (paths.size() == 1)
        buildOne(paths.first(), done);
    else
        buildMany(paths, done);
}

// One item: its Get Info form, scrolled, and a bar that can show it in the file manager.
void InfoSheet::buildOne(const QString &path, QPushButton *done) {
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // No stop of the Tab key of its own, where the focus would show nowhere: Tab goes through the form,
    // which scrolls to the field that has the focus.
    scroll->setFocusPolicy(Qt::NoFocus);
    // In the sheet from the start, so the form finds the window's text size as it is built.
    auto *host = new QWidget(this);
    auto *hl = new QVBoxLayout(host);
    hl->setContentsMargins(16, 16, 16, 16);
    // Read again whenever the pane is (an undo refreshes the panes once it is done).
    PaneModel *pane = m_sides.activePane();
    m_form = new FileInfoForm(m_sides, m_items, m_toasts, path, pane ? pane->refreshToken() : 0, host);
    if (pane)
        connect(pane, &PaneModel::refreshTokenChanged, m_form,
                [form = m_form, pane] { form->setRefresh(pane->refreshToken()); });
    // Closed with a name or tags typed and never applied: said, as the column says it.
    connect(this, &QDialog::finished, m_form->state(), &FileInfoState::tellUnapplied);
    hl->addWidget(m_form);
    scroll->setWidget(host);
    stack->addWidget(scroll, 1);
    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    stack->addWidget(line);
    auto *bar = new QHBoxLayout;
    bar->setContentsMargins(12, 12, 12, 12);
    bar->addWidget(new HelpButton(&m_requests, 8, this));
    auto *reveal = new QPushButton(L(Cmd::showInFileManager), this);
    reveal->setAutoDefault(false);
    // The sheet stays open.
    connect(reveal, &QPushButton::clicked, this, [this, path] { m_items.showInFileManager({path}); });
    bar->addWidget(reveal);
    bar->addStretch(1);
    bar->addWidget(done);
    stack->addLayout(bar);
    setFixedSize(ScreenFit::width(440), ScreenFit::height(660));
}

// Several items: their count and total size, counted off the main thread.
void InfoSheet::buildMany(const QStringList &paths, QPushButton *done) {
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(20, 20, 20, 20);
    stack->setSpacing(14);
    auto *headline = new QLabel(LF("%@ Objekte", paths.size()), this);
    QFont hf = headline->font();
    hf.setWeight(QFont::DemiBold);
    hf.setPixelSize(hf.pixelSize() > 0 ? hf.pixelSize() + 2 : 15);
    headline->setFont(hf);
    stack->addWidget(headline);
    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    stack->addWidget(line);
    auto *row = new QHBoxLayout;
    auto *label = new QLabel(L("Gesamtgröße"), this);
    label->setFixedWidth(110);
    QPalette lp = label->palette();
    QColor dim = lp.color(QPalette::WindowText);
    dim.setAlphaF(0.6);
    lp.setColor(QPalette::WindowText, dim);
    label->setPalette(lp);
    m_size = new QLabel(L("Wird berechnet …"), this);
    m_size->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    row->addWidget(label, 0, Qt::AlignTop);
    row->addWidget(m_size, 1, Qt::AlignTop);
    stack->addLayout(row);
    auto *bar = new QHBoxLayout;
    bar->setContentsMargins(0, 0, 0, 0);
    bar->addWidget(new HelpButton(&m_requests, 8, this));
    bar->addStretch(1);
    bar->addWidget(done);
    stack->addLayout(bar);
    setFixedWidth(420);

    m_walk = new SizeWalk(this);
    connect(m_walk, &SizeWalk::finished, this,
            [this](const FileOps::SelectionSize &r) { m_size->setText(totalText(r.bytes, r.files)); });
    // Closing (or a new target, which closes this sheet) ends the count at once.
    connect(this, &QDialog::finished, m_walk, &SizeWalk::cancel);
    m_walk->start(paths);
}

InfoSheet::~InfoSheet() {
    if (m_walk) m_walk->cancel();
}

bool InfoSheet::counting() const {
    return m_walk && m_walk->busy();
}
