#pragma once

#include <QByteArray>
#include <QString>

// Text of unknown encoding, as the preview shows it.
namespace TextDecode {

// The encoding of a text's bytes: a byte-order mark; else, where control bytes show it is no one-byte text,
// UTF-16 in the byte order in which nearly every code unit is a character; else UTF-8 when the bytes are
// valid UTF-8 (a sequence cut at the end counts as valid), else Windows-1252. Empty for bytes that look
// binary (zero bytes that are no UTF-16).
QByteArray detectEncoding(const QByteArray &bytes);
// Decodes with detectEncoding; a character cut off at the end is left out, and so is every combining mark
// past the sixteenth on one character.
QString decode(const QByteArray &bytes, QByteArray *encoding = nullptr);

} // namespace TextDecode
