#include "ui/panecontent/PreviewColumn.h"

#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "core/model/PaneModel.h"
#include "ui/panecontent/ThumbnailView.h"
#include "ui/style/ButtonStyles.h"
#include "ui/style/ElidedLabel.h"
#include "ui/style/EnvironmentValues.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

PreviewColumn::PreviewColumn(PaneModel *model, QWidget *parent) : QScrollArea(parent), m_model(model) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAccessibleName(L("Vorschau"));
    auto *box = new QWidget(this);
    box->setAutoFillBackground(false);
    auto *stack = new QVBoxLayout(box);
    stack->setContentsMargins(14, 12, 14, 14);
    stack->setSpacing(10);

    m_thumb = new ThumbnailView(150, box);
    m_thumb->setFixedHeight(160);
    stack->addWidget(m_thumb, 0, Qt::AlignHCenter);

    m_name = new QLabel(box);
    m_name->setTextFormat(Qt::PlainText); // a name is never markup
    m_name->setWordWrap(true);
    m_name->setAlignment(Qt::AlignHCenter);
    m_name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = m_name->font();
    bold.setWeight(QFont::DemiBold);
    m_name->setFont(bold);
    stack->addWidget(m_name);

    m_factsBox = new QWidget(box);
    m_facts = new QVBoxLayout(m_factsBox);
    m_facts->setContentsMargins(0, 0, 0, 0);
    m_facts->setSpacing(6);
    stack->addWidget(m_factsBox);

    m_open = new LabelButton(K("Öffnen"), QStringLiteral("arrow.up.forward.app"), false, true, box);
    connect(m_open, &QAbstractButton::clicked, this, [this] {
        if (m_model) m_model->openItem(m_item);
    });
    stack->addWidget(m_open, 0, Qt::AlignHCenter);
    stack->addStretch(1);
    setWidget(box);
    viewport()->setBackgroundRole(QPalette::Base);
    EnvironmentValues::follow(this, [this] { updateFacts(); });
}

void PreviewColumn::setItem(const FileItem &item) {
    m_item = item;
    m_thumb->setItem(item);
    m_name->setText(item.name);
    updateFacts();
}

QList<std::pair<QString, QString>> PreviewColumn::factsOf(const FileItem &item) {
    QList<std::pair<QString, QString>> out{{QString::fromUtf8(K("Art")), item.kind},
                                           {QString::fromUtf8(K("Größe")), FileFmt::size(item.size)}};
    if (item.modified) out.append({QString::fromUtf8(K("Geändert")), FileFmt::date().string(*item.modified)});
    return out;
}

QList<std::pair<QString, QString>> PreviewColumn::facts() const {
    return factsOf(m_item);
}

void PreviewColumn::updateFacts() {
    while (QLayoutItem *old = m_facts->takeAt(0)) {
        delete old->widget();
        delete old;
    }
    const UIScale ui = EnvironmentValues::ui(this);
    for (const auto &[label, value] : facts()) {
        auto *fact = new QWidget(m_factsBox);
        auto *lines = new QVBoxLayout(fact);
        lines->setContentsMargins(0, 0, 0, 0);
        lines->setSpacing(1);
        // A narrow column wraps both, and ends a word wider than itself with "…" rather than at its edge.
        auto *caption = new WrappingLabel(L(label), fact);
        QFont small = caption->font();
        small.setPixelSize(int(std::lround(ui.small())));
        caption->setFont(small);
        caption->setForegroundRole(QPalette::PlaceholderText);
        auto *text = new WrappingLabel(value, fact);
        lines->addWidget(caption);
        lines->addWidget(text);
        m_facts->addWidget(fact);
    }
}

void PreviewColumn::changeEvent(QEvent *event) {
    if (event->type() == QEvent::LanguageChange) updateFacts();
    QScrollArea::changeEvent(event);
}
