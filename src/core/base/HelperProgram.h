#pragma once

#include <QCoreApplication>
#include <QMutex>
#include <QString>

// Where one of our helper programs lies: beside the app, unless the tests name their own build of it.
class HelperProgram {
public:
    explicit HelperProgram(QString name) : m_name(std::move(name)) {}
    QString path() const {
        QMutexLocker l(&m_lock);
        return m_override.isEmpty() ? QCoreApplication::applicationDirPath() + u'/' + m_name : m_override;
    }
    void set(const QString &path) {
        QMutexLocker l(&m_lock);
        m_override = path;
    }

private:
    const QString m_name;
    mutable QMutex m_lock;
    QString m_override;
};
