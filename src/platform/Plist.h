#pragma once

#include <QByteArray>
#include <QVariant>
#include <optional>

// Property lists (binary or XML) to and from QVariant: bool, integers, double, QString, QByteArray,
// QDateTime, QVariantList and QVariantMap.
namespace Plist {

// Bounds for data from outside: anything larger, deeper or with more values (shared values of a binary
// list counted each time they are used) is unreadable.
constexpr qsizetype kMaxBytes = 16 * 1024 * 1024;
constexpr int kMaxDepth = 128;
constexpr int kMaxValues = 250000;

// Parses binary ("bplist00…") or XML data; nullopt when the bytes are not a property list, exceed the
// bounds, or hold a string that is not UTF-8 or contains a NUL character.
std::optional<QVariant> parse(const QByteArray &data);
// Empty when the value can't be written (a string with a NUL character, nesting beyond the bound).
QByteArray toBinary(const QVariant &value);
QByteArray toXml(const QVariant &value);

} // namespace Plist
