#include "core/help/TerminalData.h"

#include "core/help/TerminalDataParts.h"
#include "core/localisation/Lang.h"

QString Tx::text() const {
    switch (Lang::current()) {
    case AppLanguage::de:
        return de;
    case AppLanguage::en:
        return en;
    case AppLanguage::pl:
        return pl;
    default:
        return th;
    }
}

QString TermEntry::copyText() const {
    return lines.isEmpty() ? cmd : lines.first().code;
}

Tx tx(const char *de, const char *en, const char *pl, const char *th) {
    return {QString::fromUtf8(de), QString::fromUtf8(en), QString::fromUtf8(pl), QString::fromUtf8(th)};
}

TermLine tl(const char *code, std::optional<Tx> note) {
    return {QString::fromUtf8(code), std::move(note)};
}

TermEntry te(const char *cmd, Tx shortText, Tx detail, QList<TermLine> lines, std::optional<Tx> warn,
             bool copy) {
    return {QUuid::createUuid(),
            QString::fromUtf8(cmd),
            std::move(shortText),
            std::move(detail),
            std::move(lines),
            std::move(warn),
            copy};
}

TermGroup termGroup(Tx title, QList<TermEntry> items) {
    return {QUuid::createUuid(), std::move(title), std::move(items)};
}

Tx macOnly(const char *de, const char *en, const char *pl, const char *th) {
    Tx t = tx(de, en, pl, th);
    t.de += QStringLiteral(" Nur auf macOS.");
    t.en += QStringLiteral(" macOS only.");
    t.pl += QStringLiteral(" Tylko w macOS.");
    t.th += QStringLiteral(" ใช้ได้เฉพาะบน macOS");
    return t;
}

namespace TerminalData {

const QList<TermGroup> &groups() {
    // Function-local statics: built once on first use, from any thread.
    static const QList<TermGroup> all = {
        termGroup(tx("Navigieren", "Navigating", "Nawigacja", "การเปลี่ยนโฟลเดอร์"), navigateItems()),
        termGroup(tx("Dateien und Ordner", "Files and folders", "Pliki i foldery", "ไฟล์และโฟลเดอร์"),
                  filesItems()),
        termGroup(tx("Texte ansehen und bearbeiten", "Viewing and editing text", "Podgląd i edycja tekstu",
                     "ดูและแก้ไขข้อความ"),
                  textsItems()),
        termGroup(tx("Suchen", "Searching", "Wyszukiwanie", "การค้นหา"), searchItems()),
        termGroup(tx("Rechte und Sicherheit", "Permissions and security", "Prawa i bezpieczeństwo",
                     "สิทธิ์และความปลอดภัย"),
                  rightsItems()),
        termGroup(tx("Archive", "Archives", "Archiwa", "ไฟล์เก็บถาวร"), archivesItems()),
        termGroup(tx("Größe und Laufwerke", "Size and drives", "Rozmiar i dyski", "ขนาดและไดรฟ์"),
                  disksItems()),
        termGroup(tx("Programme und System", "Apps and system", "Programy i system", "โปรแกรมและระบบ"),
                  systemItems()),
        termGroup(tx("Netzwerk", "Network", "Sieć", "เครือข่าย"), networkItems()),
        termGroup(tx("Mac-Helfer", "Mac helpers", "Pomocnicy Maca", "ตัวช่วยของ Mac"), macHelpersItems()),
        termGroup(tx("Verknüpfen und umleiten", "Chaining and redirecting", "Łączenie i przekierowanie",
                     "การเชื่อมต่อและเปลี่ยนเส้นทาง"),
                  chainingItems()),
        termGroup(tx("Shell und Eingabe", "Shell and typing", "Shell i wpisywanie", "Shell และการพิมพ์"),
                  zshInputItems()),
    };
    return all;
}

} // namespace TerminalData
