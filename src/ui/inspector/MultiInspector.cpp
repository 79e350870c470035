#include "ui/inspector/MultiInspector.h"

#include "core/localisation/FileFmt.h"
#include "core/localisation/Lang.h"
#include "ui/inspector/InspectorParts.h"
#include "ui/style/EnvironmentValues.h"
#include "ui/style/Symbols.h"

#include <QLabel>
#include <QVBoxLayout>

MultiInspector::MultiInspector(qsizetype selected, QWidget *parent)
    : QWidget(parent), m_total(L("Wird berechnet …")) {
    setObjectName(QStringLiteral("MultiInspector"));
    const UIScale ui = EnvironmentValues::ui(this);
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(12, 12, 12, 12);
    stack->setSpacing(12);
    auto *symbol = new QLabel(this);
    symbol->setPixmap(Symbols::icon(QStringLiteral("square.stack.3d.up")).pixmap(48, 48));
    symbol->setAlignment(Qt::AlignCenter);
    symbol->setContentsMargins(0, 20, 0, 0);
    stack->addWidget(symbol);
    auto *count = new QLabel(LF("%@ Objekte ausgewählt", selected), this);
    count->setAlignment(Qt::AlignCenter);
    QFont f = count->font();
    f.setPixelSize(int(std::lround(ui.font + 2)));
    f.setWeight(QFont::DemiBold);
    count->setFont(f);
    stack->addWidget(count);
    m_general = new InspectorSection(K("Allgemein"), this);
    stack->addWidget(m_general);
    auto *tags = new InspectorSection(K("Tags"), this);
    m_picker = new TagPicker(tags);
    tags->body()->addWidget(m_picker);
    stack->addWidget(tags);
    stack->addStretch(1);
    rebuild();
}

QPair<QString, QString> MultiInspector::kindsRow(const QList<MultiSummary::Kind> &kinds) {
    if (kinds.size() == 1) return {QString::fromUtf8(K("Art")), kinds.first().name};
    QStringList lines;
    for (int i = 0; i < kinds.size() && i < 4; ++i)
        lines << kinds[i].name + QStringLiteral(": ") + localNumber(kinds[i].count);
    QString text = lines.join(u'\n');
    if (kinds.size() > 4) text += u'\n' + LF("… und %d weitere Arten", int(kinds.size() - 4));
    return {QString::fromUtf8(K("Arten")), text};
}

void MultiInspector::setSummary(const MultiSummary &summary, const QStringList &paths) {
    m_summary = summary;
    m_paths = paths;
    m_picker->setSet(summary.tagsOnAll);
    rebuild();
}

void MultiInspector::setTagsOnAll(const QSet<QString> &tags) {
    m_picker->setSet(tags);
}

void MultiInspector::setTotal(const QString &text) {
    m_total = text;
    rebuild();
}

void MultiInspector::rebuild() {
    qDeleteAll(m_rows);
    m_rows.clear();
    QList<QPair<QString, QString>> rows;
    if (m_summary) {
        rows.append({QString::fromUtf8(K("Aufteilung")),
                     LF("%d Ordner, %d Dateien", m_summary->folders, m_summary->files)});
        rows.append({QString::fromUtf8(K("Ort")), m_summary->location.value_or(L("Verschiedene Orte"))});
        rows.append(kindsRow(m_summary->kinds));
    }
    rows.append({QString::fromUtf8(K("Gesamtgröße")), m_total});
    if (m_summary && m_summary->oldest && m_summary->newest) {
        rows.append({QString::fromUtf8(K("Ältestes")), FileFmt::date().string(*m_summary->oldest)});
        rows.append({QString::fromUtf8(K("Neuestes")), FileFmt::date().string(*m_summary->newest)});
    }
    for (const auto &[label, value] : rows) {
        auto *row = new InspectorRow(label, value, m_general);
        m_general->body()->addWidget(row);
        m_rows << row;
    }
}
