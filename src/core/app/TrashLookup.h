#pragma once

// Whether the Trash holds anything, for the window's commands. Every mount's trash folder is looked at
// for it, and a mount that never answers must not hold the window: the lookup runs on a thread of its
// own and the window reads the last answer.

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

#include <memory>

struct Services;

class TrashLookup : public QObject {
    Q_OBJECT
public:
    explicit TrashLookup(const Services &services, QObject *parent = nullptr);
    ~TrashLookup() override;

    // The last answer: the trash folders, and whether any of them holds something.
    const QStringList &folders() const { return m_folders; }
    bool anyFull() const { return m_anyFull; }

    // Looks again, after this one lookup when one runs. A lookup that has not answered within the bound
    // is taken as stuck and holds back no further lookup (a few stuck ones at most are let be).
    void refresh();
    void setBoundForTests(int ms) { m_boundMs = ms; }

signals:
    void changed();

private:
    struct Shared;
    struct Answer {
        QStringList folders;
        bool anyFull = false;
    };
    void take(quint64 generation, const Answer &answer);

    const Services &m_services;
    std::shared_ptr<Shared> m_shared;
    QStringList m_folders;
    bool m_anyFull = false;
    int m_boundMs = 3000;
    quint64 m_latest = 0;  // the generation of the newest lookup started
    quint64 m_applied = 0; // and of the newest answer taken
    bool m_latestDone = true;
    int m_stuck = 0; // lookups given up on that have not answered yet
    bool m_pending = false;
    QElapsedTimer m_started;
};
