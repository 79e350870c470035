#include "core/filesteps/TrashMemory.h"

#include "core/base/Defaults.h"

#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QVariant>

namespace TrashMemory {
namespace {

const QString key = QStringLiteral("trashOrigins");

QMutex &lock() {
    static QMutex m;
    return m;
}

// Each entry is [path in the Trash, old path]. Anything else makes the whole list empty.
QList<QStringList> read() {
    const QVariant value = Defaults::value(key);
    QList<QStringList> list;
    if (!value.isValid()) return list;
    if (value.typeId() != QMetaType::QVariantList && value.typeId() != QMetaType::QStringList) return {};
    for (const QVariant &item : value.toList()) {
        if (item.typeId() == QMetaType::QStringList) {
            list << item.toStringList();
            continue;
        }
        if (item.typeId() != QMetaType::QVariantList) return {};
        QStringList entry;
        for (const QVariant &s : item.toList()) {
            if (s.typeId() != QMetaType::QString) return {};
            entry << s.toString();
        }
        list << entry;
    }
    return list;
}

void write(const QList<QStringList> &list) {
    QVariantList out;
    out.reserve(list.size());
    for (const QStringList &entry : list) {
        QVariantList e;
        for (const QString &s : entry)
            e << s;
        out << QVariant(e);
    }
    Defaults::setValue(key, out);
}

void drop(QList<QStringList> &list, const QString &inTrash) {
    list.removeIf([&](const QStringList &e) { return !e.isEmpty() && e.first() == inTrash; });
}

} // namespace

void remember(const QString &original, const QString &inTrash) {
    rememberAll({{original, inTrash}});
}

void rememberAll(const QList<QPair<QString, QString>> &pairs) {
    if (pairs.isEmpty()) return;
    QMutexLocker guard(&lock());
    QList<QStringList> list = read();
    for (const auto &[original, inTrash] : pairs) {
        drop(list, inTrash);
        list << QStringList{inTrash, original};
    }
    if (list.size() > limit) list.remove(0, list.size() - limit);
    write(list);
}

std::optional<QString> origin(const QString &inTrash) {
    QMutexLocker guard(&lock());
    const QList<QStringList> list = read();
    for (auto it = list.crbegin(); it != list.crend(); ++it)
        if (!it->isEmpty() && it->first() == inTrash) return it->last();
    return std::nullopt;
}

void forget(const QString &inTrash) {
    QMutexLocker guard(&lock());
    QList<QStringList> list = read();
    drop(list, inTrash);
    write(list);
}

} // namespace TrashMemory
