#pragma once

#include <QByteArray>
#include <QVariant>
#include <optional>

// Property lists (binary or XML) to and from QVariant: bool, integers, double, QString, QByteArray,
// QDateTime, QVariantList and QVariantMap.
namespace Plist {

// Parses binary ("bplist00…") or XML data; nullopt when the bytes are not a property list.
std::optional<QVariant> parse(const QByteArray &data);
QByteArray toBinary(const QVariant &value);
QByteArray toXml(const QVariant &value);

} // namespace Plist
