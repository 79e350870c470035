#pragma once

#include "core/model/MultiSummary.h"

#include <QStringList>
#include <QWidget>
#include <optional>

class InspectorSection;
class QVBoxLayout;
class TagPicker;

// The summary of several selected items. It computes nothing itself: the inspector panel hands it the
// summary and the total size as they arrive.
class MultiInspector : public QWidget {
    Q_OBJECT
public:
    // selected: how many are selected; their paths come with the summary.
    explicit MultiInspector(qsizetype selected, QWidget *parent = nullptr);
    // In the pane's order; empty until the summary is there.
    const QStringList &paths() const { return m_paths; }
    void setSummary(const MultiSummary &summary, const QStringList &paths);
    void setTagsOnAll(const QSet<QString> &tags);
    void setTotal(const QString &text);
    const std::optional<MultiSummary> &summary() const { return m_summary; }
    const QString &total() const { return m_total; }
    TagPicker *tagPicker() const { return m_picker; }

    // The text of the kinds row and its label key.
    static QPair<QString, QString> kindsRow(const QList<MultiSummary::Kind> &kinds);

private:
    void rebuild();

    QStringList m_paths;
    std::optional<MultiSummary> m_summary;
    QString m_total;
    InspectorSection *m_general = nullptr;
    QList<QWidget *> m_rows;
    TagPicker *m_picker = nullptr;
};
