#include "core/model/TextDecode.h"

#include <QStringDecoder>

namespace TextDecode {

namespace {

// Bytes no text in a one-byte encoding or in UTF-8 holds: NUL and the C0 controls but tab, line feed,
// vertical tab, form feed, carriage return and escape.
bool hasControlBytes(const QByteArray &bytes) {
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && u != '\t' && u != '\n' && u != '\v' && u != '\f' && u != '\r' && u != 0x1B)
            return true;
    }
    return false;
}

// How UTF-16 in one byte order reads: code units that are text (paired surrogates, assigned characters that
// are no control, no private use), and units whose high byte is one of the two most common ones (a text
// keeps to one or two blocks: Latin and Thai, say).
struct Utf16Score {
    qsizetype units = 0, valid = 0, coherent = 0;
};

Utf16Score scoreUtf16(const QByteArray &bytes, bool bigEndian) {
    Utf16Score s;
    s.units = bytes.size() / 2;
    const auto *b = reinterpret_cast<const uchar *>(bytes.constData());
    auto unit = [&](qsizetype i) -> char16_t {
        return bigEndian ? char16_t(b[2 * i] << 8 | b[2 * i + 1]) : char16_t(b[2 * i + 1] << 8 | b[2 * i]);
    };
    qsizetype highCount[256] = {};
    for (qsizetype i = 0; i < s.units; ++i) {
        const char16_t u = unit(i);
        ++highCount[u >> 8];
        if (QChar::isHighSurrogate(u) && i + 1 < s.units && QChar::isLowSurrogate(unit(i + 1))) {
            const char32_t cp = QChar::surrogateToUcs4(u, unit(i + 1));
            ++highCount[unit(i + 1) >> 8];
            const QChar::Category c = QChar::category(cp);
            if (c != QChar::Other_NotAssigned && c != QChar::Other_PrivateUse) s.valid += 2;
            ++i;
            continue;
        }
        const QChar::Category c = QChar::category(char32_t(u));
        const bool space = u == '\t' || u == '\n' || u == '\r' || u == '\f';
        if (space || (c != QChar::Other_Control && c != QChar::Other_NotAssigned &&
                      c != QChar::Other_PrivateUse && c != QChar::Other_Surrogate))
            ++s.valid;
    }
    qsizetype first = 0, second = 0;
    for (const qsizetype n : highCount) {
        if (n > first) {
            second = first;
            first = n;
        } else if (n > second) {
            second = n;
        }
    }
    s.coherent = first + second;
    return s;
}

// Most combining marks one character carries in what is shown: scripts stack two or three; a file of
// nothing else makes the text layout take seconds for every line.
constexpr int kMarksPerCharacter = 16;

QString boundMarks(QString text) {
    qsizetype out = 0, marks = 0;
    const qsizetype n = text.size();
    QChar *d = text.data();
    for (qsizetype i = 0; i < n;) {
        const bool pair = d[i].isHighSurrogate() && i + 1 < n && d[i + 1].isLowSurrogate();
        const qsizetype len = pair ? 2 : 1;
        const char32_t cp = pair ? QChar::surrogateToUcs4(d[i], d[i + 1]) : d[i].unicode();
        const QChar::Category c = QChar::category(cp);
        const bool mark = c == QChar::Mark_NonSpacing || c == QChar::Mark_SpacingCombining ||
                          c == QChar::Mark_Enclosing || cp == 0x200D;
        marks = mark ? marks + 1 : 0;
        if (marks <= kMarksPerCharacter)
            for (qsizetype k = 0; k < len; ++k)
                d[out++] = d[i + k];
        i += len;
    }
    text.truncate(out);
    return text;
}

} // namespace

QByteArray detectEncoding(const QByteArray &bytes) {
    if (const auto bom = QStringConverter::encodingForData(bytes))
        return QByteArray(QStringConverter::nameForEncoding(*bom));
    if (hasControlBytes(bytes)) {
        // UTF-16 without a mark: the byte order in which nearly every code unit is text, and the one keeping
        // to fewer blocks when both do (Latin read the wrong way round is all CJK).
        const Utf16Score le = scoreUtf16(bytes, false), be = scoreUtf16(bytes, true);
        auto ok = [](const Utf16Score &s) { return s.units > 0 && s.valid * 100 >= s.units * 95; };
        const bool leOk = ok(le), beOk = ok(be);
        if (leOk && (!beOk || le.valid + le.coherent >= be.valid + be.coherent)) return "UTF-16LE";
        if (beOk) return "UTF-16BE";
        if (bytes.contains('\0')) return {};
    }
    QStringDecoder utf8(QStringConverter::Utf8);
    // A sequence cut off at the end stays pending in the decoder and counts as no error.
    (void)QString(utf8.decode(bytes));
    if (!utf8.hasError()) return "UTF-8";
    return QStringDecoder("windows-1252").isValid() ? QByteArray("windows-1252") : QByteArray("ISO-8859-1");
}

QString decode(const QByteArray &bytes, QByteArray *encoding) {
    QByteArray name = detectEncoding(bytes);
    if (encoding) *encoding = name;
    if (name.isEmpty()) name = "ISO-8859-1";
    QByteArray body = bytes;
    if (name.startsWith("UTF-16") && body.size() % 2) body.chop(1);
    QStringDecoder decoder(name.constData());
    QString text = decoder.decode(body);
    // Zero bytes of a mostly textual file would end the text early in some views.
    text.replace(QChar(0), QChar(0xFFFD));
    return boundMarks(std::move(text));
}

} // namespace TextDecode
