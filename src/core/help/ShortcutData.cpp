#include "core/help/ShortcutData.h"

#include "core/localisation/Lang.h"
#include "core/localisation/Translations.h"

ShortcutItem::ShortcutItem(const QString &keys, const QString &text)
    : id(QUuid::createUuid()), keys(keys), text(text) {}

QList<QStringList> ShortcutItem::alternatives() const {
    QList<QStringList> out;
    for (const QString &piece : keys.split(QStringLiteral(" / ")))
        out << piece.split(u' ', Qt::SkipEmptyParts);
    return out;
}

QSet<QString> ShortcutItem::modifiers() const {
    const QList<QStringList> all = alternatives();
    QSet<QString> out;
    if (all.isEmpty()) return out;
    for (const QString &token : all.first())
        if (ShortcutData::modifierTokens().contains(token)) out << token;
    return out;
}

ShortcutGroup::ShortcutGroup(const QString &title, const QList<ShortcutItem> &items)
    : id(QUuid::createUuid()), title(title), items(items) {}

namespace ShortcutData {

namespace {

struct Row {
    const char *keys;
    const char *text;
};
struct Table {
    const char *title;
    QList<Row> rows;
};

} // namespace

const QList<ShortcutGroup> &groups() {
    // A function-local static is built once, thread-safely.
    static const QList<ShortcutGroup> all = [] {
        const QList<Table> tables = {
            {K("Häufig verwendet"),
             {{"⌘ X", K("Ausschneiden")},
              {"⌘ C", K("Kopieren (auch Dateien im Finder)")},
              {"⌘ V", K("Einfügen (auch Dateien im Finder)")},
              {"⌘ Z", K("Widerrufen")},
              {"⇧ ⌘ Z", K("Widerrufen umkehren")},
              {"⌘ A", K("Alles auswählen")},
              {"⌘ F", K("Suchen")},
              {"⌘ G", K("Nächstes Suchergebnis")},
              {"⇧ ⌘ G", K("Vorheriges Suchergebnis")},
              {"⌘ O", K("Auswahl oder Dateiauswahl öffnen")},
              {"⌘ P", K("Drucken")},
              {"⌘ S", K("Sichern")},
              {"⇧ ⌘ S", K("Sichern unter / Dokument duplizieren")},
              {"⌘ T", K("Neuer Tab")},
              {"⌘ ,", K("Einstellungen der aktuellen App")},
              {"␣", K("Übersicht: Vorschau des markierten Objekts")},
              {"⇧ ⌘ 5", K("Bildschirmfoto oder Bildschirmaufnahme")},
              {"fn Q", K("Schnellnotiz erstellen")},
              {"⇧ ⌘ ?", K("Hilfe-Menü öffnen")}}},
            {K("Apps und Fenster"),
             {{"⌘ H", K("Aktuelle App ausblenden")},
              {"⌥ ⌘ H", K("Alle anderen Apps ausblenden")},
              {"⌘ M", K("Fenster ins Dock legen")},
              {"⌥ ⌘ M", K("Alle Fenster der App ins Dock legen")},
              {"⌘ W", K("Fenster schließen")},
              {"⌥ ⌘ W", K("Alle Fenster der App schließen")},
              {"⌘ Q", K("App beenden")},
              {"⌥ ⌘ ⎋", K("Beenden einer App erzwingen")},
              {"⌘ ⇥", K("Zwischen geöffneten Apps wechseln")},
              {"⌘ `", K("Zwischen Fenstern der App wechseln")},
              {"⇧ ⌘ `", K("Vorheriges Fenster der App")},
              {"⌃ ⌘ F", K("Vollbildmodus ein/aus")},
              {"⌃ ↑", K("Mission Control öffnen")},
              {"⌃ ↓", K("Alle Fenster der App einblenden")},
              {"⌥ ⌘ D", K("Dock ein-/ausblenden")},
              {"fn A", K("Dock ein-/ausblenden")},
              {"fn ⇧ A", K("Apps-Übersicht ein-/ausblenden (macOS Tahoe 26 oder neuer)")}}},
            {K("Suche, Siri und Eingabe"),
             {{"⌘ ␣", K("Spotlight ein-/ausblenden")},
              {"⌥ ⌘ ␣", K("Spotlight-Suche aus einem Finder-Fenster")},
              {"⌃ ⌘ ␣ / fn E", K("Zeichenübersicht (Emojis, Symbole)")},
              {"fn fn", K("Zeichenübersicht öffnen")},
              {"⌃ ␣", K("Vorherige Eingabequelle")},
              {"⌃ ⌥ ␣", K("Nächste Eingabequelle")},
              {"⌘ ⌘", K("Siri-Anfragen tippen (zweimal ⌘)")},
              {"⇧ ⌘ 6", K("Siri AI (Beta): Frage zum ausgewählten Bereich, macOS 27 oder neuer")},
              {"⇧ ⌘ ␣", K("Siri AI (Beta): Frage zum aktiven Fenster, macOS 27 oder neuer")},
              {"fn D", K("Diktierfunktion starten/beenden")},
              {"fn C", K("Kontrollzentrum ein-/ausblenden")},
              {"fn N", K("Mitteilungszentrale ein-/ausblenden")}}},
            {K("Finder: Ordner öffnen"),
             {{"⇧ ⌘ D", K("Schreibtisch")},
              {"⇧ ⌘ H", K("Benutzerordner")},
              {"⇧ ⌘ O", K("Dokumente")},
              {"⌥ ⌘ L", K("Downloads")},
              {"⇧ ⌘ I", K("iCloud Drive")},
              {"⇧ ⌘ R", K("AirDrop")},
              {"⇧ ⌘ F", K("Zuletzt benutzt")},
              {"⇧ ⌘ U", K("Dienstprogramme")},
              {"⇧ ⌘ C", K("Computer")},
              {"⇧ ⌘ K", K("Netzwerk")},
              {"⇧ ⌘ G", K("Gehe zum Ordner")},
              {"⌘ K", K("Mit Server verbinden")}}},
            {K("Finder: Dateien und Ansicht"),
             {{"⌘ D", K("Duplizieren")},
              {"⇧ ⌘ N", K("Neuer Ordner")},
              {"⌃ ⌘ N", K("Neuer Ordner mit den ausgewählten Objekten")},
              {"⌥ ⌘ N", K("Neuer intelligenter Ordner")},
              {"⌘ N", K("Neues Finder-Fenster")},
              {"⌃ ⌘ A", K("Alias erstellen")},
              {"⌘ I", K("Informationen anzeigen")},
              {"⌘ E", K("Laufwerk auswerfen")},
              {"⌘ R", K("Alias: Original zeigen")},
              {"⌘ Y", K("Übersicht (Vorschau)")},
              {"⌥ ⌘ Y", K("Übersicht: Diashow")},
              {"⌘ 1", K("Als Symbole")},
              {"⌘ 2", K("Als Liste")},
              {"⌘ 3", K("In Spalten")},
              {"⌘ 4", K("In Galerie")},
              {"⌘ J", K("Darstellungsoptionen")},
              {"⌘ [", K("Voriger Ordner")},
              {"⌘ ]", K("Nächster Ordner")},
              {"⌘ ↑", K("Übergeordneter Ordner")},
              {"⌃ ⌘ ↑", K("Übergeordneter Ordner in neuem Fenster")},
              {"⌘ ↓", K("Auswahl öffnen")},
              {"→", K("Ordner öffnen (Liste)")},
              {"←", K("Ordner schließen (Liste)")},
              {"⌘ ⌫", K("In den Papierkorb")},
              {"⇧ ⌘ ⌫", K("Papierkorb leeren")},
              {"⌥ ⇧ ⌘ ⌫", K("Papierkorb leeren ohne Rückfrage")},
              {"⌥ ⌘ V", K("Verschieben: Dateien an den aktuellen Ort bewegen")}}},
            {K("Finder: Fensterleisten"),
             {{"⇧ ⌘ P", K("Vorschaufenster ein-/ausblenden")},
              {"⇧ ⌘ T", K("Tableiste ein-/ausblenden")},
              {"⌥ ⌘ P", K("Pfadleiste ein-/ausblenden")},
              {"⌥ ⌘ S", K("Seitenleiste ein-/ausblenden")},
              {"⌘ /", K("Statusleiste ein-/ausblenden")},
              {"⌥ ⌘ T", K("Symbolleiste ein-/ausblenden")},
              {"⌃ ⇧ ⌘ T", K("Objekt dem Dock hinzufügen")},
              {"⌃ ⌘ T", K("Objekt der Seitenleiste hinzufügen")}}},
            {K("Maus und Taste zusammen"),
             {{"⌥ Doppelklick", K("Ordner im neuen Fenster öffnen, altes schließen")},
              {"⌘ Doppelklick", K("Ordner in neuem Tab oder Fenster öffnen")},
              {"⌥ Ziehen", K("Objekt kopieren")},
              {"⌥ ⌘ Ziehen", K("Alias des Objekts erstellen")},
              {"⌘ Ziehen", K("Auf ein anderes Laufwerk: verschieben statt kopieren")},
              {"⌘ Klick", K("Mehrere Objekte einzeln auswählen")},
              {"⇧ Klick", K("Mehrere Objekte als Bereich auswählen")},
              {"⌥ Klick auf Dreieck", K("Alle Unterordner öffnen (Liste)")},
              {"⌘ Klick auf Fenstertitel", K("Übergeordnete Ordner anzeigen")}}},
            {K("Tasten für Display, Ton und Tastatur"),
             {{"⌘ Helligkeit−", K("Bildschirmsynchronisation ein/aus (mehrere Monitore)")},
              {"⌥ Helligkeit+", K("Systemeinstellung „Monitore“")},
              {"⌃ Helligkeit±", K("Helligkeit des externen Displays")},
              {"⌥ ⇧ Helligkeit±", K("Helligkeit in kleinen Schritten")},
              {"⌥ Mission Control", K("Systemeinstellung „Mission Control“")},
              {"⌘ Mission Control / fn H / fn F11", K("Schreibtisch einblenden")},
              {"⌥ Lauter", K("Toneinstellungen öffnen")},
              {"⌥ ⇧ Lauter", K("Lautstärke in kleinen Schritten")},
              {"⌥ Tastaturhelligkeit+", K("Systemeinstellung „Tastatur“")}}},
            {K("Sperren, Abmelden, Ausschalten"),
             {{"⌃ ⌘ Q", K("Bildschirm sperren")},
              {"⇧ ⌘ Q", K("Abmelden (mit Rückfrage)")},
              {"⌥ ⇧ ⌘ Q", K("Sofort abmelden")},
              {"⏻", K("Einschalten / Ruhezustand beenden; mit Touch ID kurz drücken: Bildschirm sperren")},
              {"⏻ lange halten", K("Herunterfahren erzwingen")},
              {"⌃ ⏻", K("Dialog: Neustart, Ruhezustand, Ausschalten (ohne Touch ID)")},
              {"⌃ ⌘ ⏻", K("Neustart erzwingen, ohne Rückfrage zum Sichern")},
              {"⌥ ⌘ ⏻", K("Ruhezustand (ohne Touch ID)")},
              {"⌃ ⇧ ⏻", K("Display in den Ruhezustand (ohne Touch ID)")},
              {"⌃ ⌥ ⌘ ⏻", K("Alle Apps beenden und ausschalten (ohne Touch ID)")}}},
            {K("Text bearbeiten"),
             {{"⌘ B", K("Fett")},
              {"⌘ I", K("Kursiv")},
              {"⌘ U", K("Unterstrichen")},
              {"⌘ K", K("Weblink hinzufügen")},
              {"⌘ T", K("Fenster „Schriften“")},
              {"⌃ ⌘ D", K("Definition des markierten Worts")},
              {"⇧ ⌘ :", K("Rechtschreibung und Grammatik")},
              {"⌘ ;", K("Falsch geschriebene Wörter suchen")},
              {"⌥ ⌫", K("Wort links löschen")},
              {"⌃ H", K("Zeichen links löschen")},
              {"⌃ D / fn ⌫", K("Zeichen rechts löschen")},
              {"⌃ K", K("Text bis Absatzende ausschneiden")},
              {"⌃ Y", K("Mit ⌃K Ausgeschnittenes einfügen")},
              {"fn ↑", K("Seite nach oben")},
              {"fn ↓", K("Seite nach unten")},
              {"fn ←", K("Zum Anfang des Dokuments")},
              {"fn →", K("Zum Ende des Dokuments")},
              {"⌘ ↑", K("Cursor an den Dokumentanfang")},
              {"⌘ ↓", K("Cursor an das Dokumentende")},
              {"⌘ ←", K("Cursor an den Zeilenanfang")},
              {"⌘ →", K("Cursor an das Zeilenende")},
              {"⌥ ←", K("Ein Wort zurück")},
              {"⌥ →", K("Ein Wort vor")},
              {"⇧ ⌘ ↑", K("Bis Dokumentanfang markieren")},
              {"⇧ ⌘ ↓", K("Bis Dokumentende markieren")},
              {"⇧ ⌘ ←", K("Bis Zeilenanfang markieren")},
              {"⇧ ⌘ →", K("Bis Zeilenende markieren")},
              {"⌥ ⇧ ←", K("Auswahl um ein Wort nach links")},
              {"⌥ ⇧ →", K("Auswahl um ein Wort nach rechts")},
              {"⌃ A", K("Zum Zeilen-/Absatzanfang")},
              {"⌃ E", K("Zum Zeilen-/Absatzende")},
              {"⌃ F", K("Ein Zeichen vor")},
              {"⌃ B", K("Ein Zeichen zurück")},
              {"⌃ P", K("Eine Zeile nach oben")},
              {"⌃ N", K("Eine Zeile nach unten")},
              {"⌃ O", K("Neue Zeile hinter dem Cursor")},
              {"⌃ T", K("Zeichen mit dem davor tauschen")},
              {"⌘ {", K("Linksbündig")},
              {"⌘ }", K("Rechtsbündig")},
              {"⇧ ⌘ |", K("Zentrieren")},
              {"⌥ ⌘ F", K("Zum Suchfeld wechseln")},
              {"⌥ ⌘ C", K("Stil kopieren")},
              {"⌥ ⌘ V", K("Stil einsetzen")},
              {"⌥ ⇧ ⌘ V", K("Einsetzen und Stil anpassen")},
              {"⇧ ⌘ +", K("Objekt vergrößern")},
              {"⇧ ⌘ –", K("Objekt verkleinern")}}},
            {K("Bedienungshilfen und Tastaturfokus"),
             {{"⌥ ⌘ F5", K("Fenster mit den Bedienungshilfen-Kurzbefehlen")},
              {"⌃ ⌥ ⌘ 8", K("Farben umkehren")},
              {"⌃ ⌥ ⌘ ,", K("Kontrast verringern")},
              {"⌃ ⌥ ⌘ .", K("Kontrast erhöhen")},
              {"⌃ F2", K("Fokus auf die Menüleiste")},
              {"⌃ F3", K("Fokus auf das Dock")},
              {"⌃ F4", K("Fokus auf das aktive Fenster")},
              {"⌃ F5", K("Fokus auf die Fenstersymbolleiste")},
              {"⌃ F6", K("Fokus auf das Schwebefenster")},
              {"⌃ ⇧ F6", K("Fokus auf das vorherige Steuerfeld")},
              {"⌃ F7", K("Wie ⇥ den Fokus bewegt")},
              {"⌃ F8", K("Fokus auf das Statusmenü")},
              {"⌥ ⌘ `", K("Fokus auf die Seitenleiste des Fensters")},
              {"⇥", K("Nächstes Steuerelement")},
              {"⇧ ⇥", K("Voriges Steuerelement")},
              {"⌃ ⇥", K("Nächstes Steuerelement bei Textfeld")},
              {"⌃ ⇧ ⇥", K("Vorige Gruppe von Steuerelementen")}}},
        };
        QList<ShortcutGroup> out;
        for (const Table &t : tables) {
            QList<ShortcutItem> items;
            for (const Row &r : t.rows)
                items << ShortcutItem(QString::fromUtf8(r.keys), QString::fromUtf8(r.text));
            out << ShortcutGroup(QString::fromUtf8(t.title), items);
        }
        return out;
    }();
    return all;
}

QString sourceText() {
    return QString::fromUtf8(
        K("Quelle: Apple Support, „Mac-Shortcuts (Tastaturkurzbefehle)“, veröffentlicht am 15. "
          "September 2026"));
}

QString sourceAddress() {
    return QStringLiteral("https://support.apple.com/de-de/102650");
}

QString text(const QString &key) {
    const AppLanguage lang = Lang::current();
    if (lang == AppLanguage::de || key.isEmpty()) return key;
    const QHash<QString, QString> &table = lang == AppLanguage::en   ? Translations::en()
                                           : lang == AppLanguage::pl ? Translations::pl()
                                                                     : Translations::th();
    return table.value(key, key);
}

const QStringList &modifierTokens() {
    static const QStringList tokens = {QStringLiteral("⌘"), QStringLiteral("⇧"), QStringLiteral("⌥"),
                                       QStringLiteral("⌃"), QStringLiteral("fn")};
    return tokens;
}

} // namespace ShortcutData
