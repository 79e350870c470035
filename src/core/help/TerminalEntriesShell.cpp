#include "core/help/TerminalDataParts.h"

namespace TerminalData {

const QList<TermEntry> &chainingItems() {
    static const QList<TermEntry> items = {
        te("|",
           tx("Gibt die Ausgabe an den nächsten Befehl", "Passes output to the next command",
              "Przekazuje wynik do następnego polecenia", "ส่งผลลัพธ์ต่อให้คำสั่งถัดไป"),
           tx("Die Pipe verbindet Befehle: Was links ausgegeben wird, liest der Befehl rechts als Eingabe.",
              "The pipe connects commands: what the left one prints, the right one reads as input.",
              "Potok łączy polecenia: to, co wypisze lewe, prawe czyta jako wejście.",
              "ไปป์เชื่อมคำสั่ง ผลลัพธ์ของคำสั่งซ้ายจะเป็นข้อมูลเข้าของคำสั่งขวา"),
           {tl("ls -l | less",
               tx("Seitenweise blättern", "Page through it", "Przewijaj stronami", "เลื่อนดูทีละหน้า")),
            tl("history | grep ssh", tx("Frühere Befehle filtern", "Filter earlier commands",
                                        "Filtruj wcześniejsze polecenia", "กรองคำสั่งก่อนหน้า"))}),
        te(">",
           tx("Schreibt die Ausgabe in eine Datei", "Writes output to a file", "Zapisuje wynik do pliku",
              "เขียนผลลัพธ์ลงไฟล์"),
           tx("Leitet die Ausgabe statt ins Terminal in die Datei um und legt sie an, wenn es sie nicht "
              "gibt.",
              "Sends the output to the file instead of the Terminal and creates the file if it does not "
              "exist.",
              "Kieruje wynik do pliku zamiast do terminalu i tworzy plik, jeśli go nie ma.",
              "ส่งผลลัพธ์ลงไฟล์แทนการแสดงใน Terminal และสร้างไฟล์ถ้ายังไม่มี"),
           {tl("ls > liste.txt"),
            tl("echo \"Hallo\" > gruss.txt",
               tx("Text in eine Datei", "Text into a file", "Tekst do pliku", "เขียนข้อความลงไฟล์"))},
           tx("Eine vorhandene Datei wird ohne Rückfrage überschrieben. Mit >> hängst du stattdessen an.",
              "An existing file is overwritten without asking. Use >> to append instead.",
              "Istniejący plik zostaje nadpisany bez pytania. Użyj >>, aby dopisać.",
              "ไฟล์ที่มีอยู่จะถูกเขียนทับโดยไม่ถาม ใช้ >> เพื่อต่อท้ายแทน")),
        te(">>",
           tx("Hängt die Ausgabe an eine Datei an", "Appends output to a file", "Dopisuje wynik do pliku",
              "ต่อท้ายผลลัพธ์ลงไฟล์"),
           tx("Wie >, aber der bisherige Inhalt bleibt stehen; die neuen Zeilen kommen ans Ende.",
              "Like >, but the existing contents stay; the new lines go to the end.",
              "Jak >, ale dotychczasowa zawartość zostaje; nowe wiersze trafiają na koniec.",
              "เหมือน > แต่เนื้อหาเดิมยังอยู่ บรรทัดใหม่จะต่อท้าย"),
           {tl("echo \"Neue Zeile\" >> notiz.txt"),
            tl("date >> protokoll.txt",
               tx("Zeitstempel anhängen", "Append a time stamp", "Dopisz znacznik czasu", "ต่อท้ายเวลา"))}),
        te("2>",
           tx("Leitet Fehlermeldungen um", "Redirects error messages", "Przekierowuje komunikaty o błędach",
              "เปลี่ยนเส้นทางข้อความผิดพลาด"),
           tx("Fehler laufen getrennt von der normalen Ausgabe. 2> schreibt nur sie in eine Datei, 2>&1 "
              "führt beide zusammen.",
              "Errors travel apart from normal output. 2> writes only them to a file, 2>&1 joins both.",
              "Błędy płyną osobno od zwykłego wyniku. 2> zapisuje tylko je do pliku, 2>&1 łączy oba.",
              "ข้อผิดพลาดแยกจากผลลัพธ์ปกติ 2> เขียนเฉพาะข้อผิดพลาดลงไฟล์ 2>&1 รวมทั้งสองเข้าด้วยกัน"),
           {tl("find / -name \"*.log\" 2>/dev/null",
               tx("Fehler verwerfen", "Throw errors away", "Odrzuć błędy", "ทิ้งข้อผิดพลาด")),
            tl("befehl > alles.txt 2>&1",
               tx("Ausgabe und Fehler in eine Datei", "Output and errors into one file",
                  "Wynik i błędy do jednego pliku", "ผลลัพธ์และข้อผิดพลาดลงไฟล์เดียว"))}),
        te("&&  ;  &", tx("Verknüpft Befehle", "Chains commands", "Łączy polecenia", "เชื่อมคำสั่ง"),
           tx("&& führt den nächsten Befehl nur aus, wenn der vorige klappte; ; führt ihn immer aus; & am "
              "Ende lässt einen Befehl im Hintergrund laufen.",
              "&& runs the next command only if the previous one succeeded; ; always runs it; & at the end "
              "runs a command in the background.",
              "&& uruchamia następne polecenie tylko, gdy poprzednie się udało; ; zawsze; & na końcu "
              "uruchamia polecenie w tle.",
              "&& รันคำสั่งถัดไปเมื่อคำสั่งก่อนสำเร็จเท่านั้น ; รันเสมอ & ท้ายคำสั่งให้ทำงานเบื้องหลัง"),
           {tl("mkdir neu && cd neu",
               tx("Nur wenn es klappte", "Only if it worked", "Tylko jeśli się udało", "เฉพาะเมื่อสำเร็จ")),
            tl("cd ordner; ls",
               tx("Nacheinander, immer", "One after the other, always", "Po kolei, zawsze", "ต่อกันเสมอ")),
            tl("sleep 60 &", tx("Im Hintergrund", "In the background", "W tle", "ทำงานเบื้องหลัง"))}),
        te("$( )",
           tx("Setzt die Ausgabe eines Befehls ein", "Inserts a command's output", "Wstawia wynik polecenia",
              "แทรกผลลัพธ์ของคำสั่ง"),
           tx("Der Befehl in $( ) läuft zuerst; seine Ausgabe steht dann an dieser Stelle der Zeile.",
              "The command inside $( ) runs first; its output then stands in that place of the line.",
              "Polecenie w $( ) wykonuje się najpierw; jego wynik staje w tym miejscu wiersza.",
              "คำสั่งใน $( ) ทำงานก่อน แล้วผลลัพธ์จะมาแทนที่ตรงนั้นในบรรทัด"),
           {tl("echo \"Heute ist $(date +%A)\""),
            tl("mkdir \"backup-$(date +%Y-%m-%d)\"",
               tx("Ordner mit Datum im Namen", "Folder with the date in its name", "Folder z datą w nazwie",
                  "โฟลเดอร์ที่มีวันที่ในชื่อ"))}),
        te("*  ?  ~",
           tx("Platzhalter und Abkürzungen", "Wildcards and shortcuts", "Symbole wieloznaczne i skróty",
              "ไวลด์การ์ดและทางลัด"),
           tx("* steht für beliebig viele Zeichen, ? für genau eins, ~ für deinen Benutzerordner. Die Shell "
              "setzt die passenden Namen ein, bevor der Befehl startet.",
              "* stands for any number of characters, ? for exactly one, ~ for your home folder. The shell "
              "fills in the matching names before the command starts.",
              "* oznacza dowolną liczbę znaków, ? dokładnie jeden, ~ folder domowy. Powłoka wstawia pasujące "
              "nazwy, zanim polecenie ruszy.",
              "* แทนอักขระกี่ตัวก็ได้ ? แทนหนึ่งตัวพอดี ~ แทนโฟลเดอร์บ้าน Shell จะแทนชื่อที่ตรงก่อนคำสั่งเริ่ม"),
           {tl("ls *.jpg", tx("Alle JPG-Dateien", "Every JPG file", "Wszystkie pliki JPG", "ไฟล์ JPG ทั้งหมด")),
            tl("ls bild?.png", tx("Genau ein Zeichen nach bild", "Exactly one character after bild",
                                  "Dokładnie jeden znak po bild", "อักขระหนึ่งตัวพอดีหลัง bild")),
            tl("cd ~/Desktop", tx("Schreibtisch im Benutzerordner", "Desktop in your home folder",
                                  "Biurko w folderze domowym", "เดสก์ท็อปในโฟลเดอร์บ้าน"))}),
    };
    return items;
}

const QList<TermEntry> &zshInputItems() {
    static const QList<TermEntry> items = {
        te("history",
           tx("Zeigt frühere Befehle", "Shows earlier commands", "Pokazuje wcześniejsze polecenia",
              "แสดงคำสั่งก่อนหน้า"),
           tx("Jeder Befehl hat eine Nummer. !nummer führt ihn erneut aus, !! wiederholt den letzten.",
              "Each command has a number. !number runs it again, !! repeats the last one.",
              "Każde polecenie ma numer. !numer uruchamia je ponownie, !! powtarza ostatnie.",
              "ทุกคำสั่งมีหมายเลข !หมายเลข รันซ้ำ !! ทำคำสั่งล่าสุดซ้ำ"),
           {tl("history"),
            tl("history | grep git", tx("Nur passende Befehle", "Only matching commands",
                                        "Tylko pasujące polecenia", "เฉพาะคำสั่งที่ตรง")),
            tl("sudo !!", tx("Letzten Befehl mit sudo", "Last command with sudo", "Ostatnie polecenie z sudo",
                             "คำสั่งล่าสุดด้วย sudo"))}),
        te("⌃R",
           tx("Sucht in früheren Befehlen", "Searches earlier commands",
              "Szuka we wcześniejszych poleceniach", "ค้นหาในคำสั่งก่อนหน้า"),
           tx("Drücke ⌃R und tippe einen Teil des Befehls. Noch einmal ⌃R zeigt den nächsten Treffer. Return "
              "führt aus, → übernimmt ihn zum Bearbeiten.",
              "Press ⌃R and type part of the command. ⌃R again shows the next hit. Return runs it, → takes "
              "it over for editing.",
              "Naciśnij ⌃R i wpisz część polecenia. Ponowne ⌃R pokazuje następne trafienie. Return wykonuje, "
              "→ przejmuje je do edycji.",
              "กด ⌃R แล้วพิมพ์บางส่วนของคำสั่ง กด ⌃R อีกครั้งเพื่อดูผลถัดไป Return เพื่อรัน → เพื่อนำมาแก้ไข"),
           {}, std::nullopt, false),
        te("↑  ↓",
           tx("Blättert durch frühere Befehle", "Steps through earlier commands",
              "Przegląda wcześniejsze polecenia", "เลื่อนดูคำสั่งก่อนหน้า"),
           tx("↑ holt den vorigen Befehl in die Zeile, ↓ den nächsten. Du kannst ihn ändern, bevor du Return "
              "drückst.",
              "↑ brings the previous command into the line, ↓ the next one. You can change it before "
              "pressing Return.",
              "↑ przywołuje poprzednie polecenie, ↓ następne. Możesz je zmienić przed naciśnięciem Return.",
              "↑ เรียกคำสั่งก่อนหน้ามาที่บรรทัด ↓ คำสั่งถัดไป แก้ไขได้ก่อนกด Return"),
           {}, std::nullopt, false),
        te("Tab", tx("Ergänzt Namen automatisch", "Completes names", "Uzupełnia nazwy", "เติมชื่อให้อัตโนมัติ"),
           tx("Tippe den Anfang eines Befehls, Ordners oder Dateinamens und drücke Tab. Bei mehreren "
              "Möglichkeiten zeigt ein zweites Tab die Auswahl. Spart Tippfehler bei langen Namen.",
              "Type the start of a command, folder or file name and press Tab. With several choices a second "
              "Tab shows them. Saves typos in long names.",
              "Wpisz początek polecenia, folderu lub nazwy pliku i naciśnij Tab. Przy kilku możliwościach "
              "drugi Tab je pokaże. Oszczędza literówek w długich nazwach.",
              "พิมพ์ส่วนต้นของคำสั่ง โฟลเดอร์ หรือชื่อไฟล์แล้วกด Tab ถ้ามีหลายตัวเลือก กด Tab อีกครั้งเพื่อดู "
              "ช่วยลดการพิมพ์ผิดในชื่อยาว"),
           {}, std::nullopt, false),
        te("⌃C",
           tx("Bricht den laufenden Befehl ab", "Stops the running command", "Przerywa działające polecenie",
              "หยุดคำสั่งที่กำลังทำงาน"),
           tx("Beendet, was gerade läuft, etwa ping oder tail -f. In einer halb getippten Zeile verwirft ⌃C "
              "die Zeile. ⌃C ist hier nicht Kopieren; das ist ⌘C.",
              "Ends what is running, such as ping or tail -f. In a half-typed line ⌃C discards the line. ⌃C "
              "is not copy here; that is ⌘C.",
              "Kończy to, co właśnie działa, np. ping lub tail -f. W wpół wpisanym wierszu ⌃C go odrzuca. ⌃C "
              "nie kopiuje; do tego jest ⌘C.",
              "หยุดสิ่งที่กำลังทำงาน เช่น ping หรือ tail -f ถ้าพิมพ์บรรทัดค้างไว้ ⌃C จะทิ้งบรรทัดนั้น ⌃C ไม่ใช่การคัดลอก "
              "การคัดลอกคือ ⌘C"),
           {}, std::nullopt, false),
        te("⌃Z", tx("Hält einen Befehl an", "Suspends a command", "Wstrzymuje polecenie", "พักคำสั่งไว้"),
           tx("Der Befehl pausiert und du bekommst die Eingabe zurück. fg holt ihn wieder nach vorn, bg "
              "lässt ihn im Hintergrund weiterlaufen.",
              "The command pauses and you get the prompt back. fg brings it to the front again, bg lets it "
              "continue in the background.",
              "Polecenie się zatrzymuje i odzyskujesz wiersz poleceń. fg przywraca je na pierwszy plan, bg "
              "pozwala mu działać w tle.",
              "คำสั่งจะหยุดชั่วคราวและคุณได้พรอมต์คืน fg นำกลับมาทำงานด้านหน้า bg ให้ทำงานต่อเบื้องหลัง"),
           {tl("fg",
               tx("Wieder nach vorn", "Back to the front", "Z powrotem na pierwszy plan", "กลับมาด้านหน้า")),
            tl("bg", tx("Im Hintergrund weiter", "Continue in the background", "Kontynuuj w tle",
                        "ทำงานต่อเบื้องหลัง")),
            tl("jobs",
               tx("Angehaltene Befehle", "Suspended commands", "Wstrzymane polecenia", "คำสั่งที่พักไว้"))}),
        te("⌃A  ⌃E",
           tx("Springt an den Anfang oder das Ende der Zeile", "Jumps to the start or end of the line",
              "Skacze na początek lub koniec wiersza", "กระโดดไปต้นหรือท้ายบรรทัด"),
           tx("⌃A setzt die Einfügemarke an den Zeilenanfang, ⌃E ans Ende. Mit ⌥ und Klick springst du an "
              "eine Stelle der Zeile.",
              "⌃A puts the cursor at the start of the line, ⌃E at the end. ⌥ and a click jumps to a place in "
              "the line.",
              "⌃A stawia kursor na początku wiersza, ⌃E na końcu. ⌥ z kliknięciem skacze w dane miejsce "
              "wiersza.",
              "⌃A ย้ายเคอร์เซอร์ไปต้นบรรทัด ⌃E ไปท้ายบรรทัด กด ⌥ แล้วคลิกเพื่อไปยังตำแหน่งในบรรทัด"),
           {}, std::nullopt, false),
        te("⌃U  ⌃W",
           tx("Löscht die Zeile oder das letzte Wort", "Deletes the line or the last word",
              "Usuwa wiersz lub ostatnie słowo", "ลบบรรทัดหรือคำสุดท้าย"),
           tx("⌃U löscht die ganze Eingabezeile, ⌃W das Wort vor der Einfügemarke. Schneller als viele Male "
              "⌫.",
              "⌃U deletes the whole input line, ⌃W the word before the cursor. Faster than pressing ⌫ many "
              "times.",
              "⌃U usuwa cały wiersz, ⌃W słowo przed kursorem. Szybciej niż wielokrotne ⌫.",
              "⌃U ลบทั้งบรรทัด ⌃W ลบคำก่อนเคอร์เซอร์ เร็วกว่ากด ⌫ หลายครั้ง"),
           {}, std::nullopt, false),
        te("⌃L, clear", tx("Leert das Fenster", "Clears the window", "Czyści okno", "ล้างหน้าต่าง"),
           tx("Schiebt den bisherigen Text aus dem Blick; nichts wird gelöscht oder beendet. ⌘K leert im "
              "Terminal auch den Verlauf zum Zurückscrollen.",
              "Moves the old text out of sight; nothing is deleted or ended. ⌘K in the Terminal also clears "
              "the scroll-back.",
              "Usuwa dotychczasowy tekst z widoku; nic nie jest kasowane ani kończone. ⌘K w terminalu czyści "
              "też historię przewijania.",
              "เลื่อนข้อความเก่าออกจากจอ ไม่มีอะไรถูกลบหรือปิด ⌘K ใน Terminal ล้างประวัติการเลื่อนย้อนด้วย"),
           {tl("clear")}),
        te("⌃D, exit", tx("Beendet die Shell", "Ends the shell", "Kończy powłokę", "ปิด Shell"),
           tx("In einer leeren Zeile beendet ⌃D die Shell wie exit. Bei ssh trennt es die Verbindung.",
              "In an empty line ⌃D ends the shell like exit. In ssh it closes the connection.",
              "W pustym wierszu ⌃D kończy powłokę jak exit. W ssh zamyka połączenie.",
              "ในบรรทัดว่าง ⌃D ปิด Shell เหมือน exit ใน ssh จะตัดการเชื่อมต่อ"),
           {tl("exit")}),
        te("alias",
           tx("Legt Abkürzungen für Befehle an", "Creates short names for commands", "Tworzy skróty poleceń",
              "สร้างชื่อย่อของคำสั่ง"),
           tx("Ein Alias gilt nur in diesem Fenster. Für immer trägst du es in die Datei ~/.zshrc ein.",
              "An alias lasts only in this window. To keep it, add it to the file ~/.zshrc.",
              "Alias działa tylko w tym oknie. Na stałe wpisz go do pliku ~/.zshrc.",
              "alias ใช้ได้เฉพาะในหน้าต่างนี้ ถ้าต้องการใช้ตลอดให้เขียนลงไฟล์ ~/.zshrc"),
           {tl("alias ll='ls -lah'", tx("Neue Abkürzung", "New short name", "Nowy skrót", "ชื่อย่อใหม่")),
            tl("alias", tx("Alle Abkürzungen", "Every short name", "Wszystkie skróty", "ชื่อย่อทั้งหมด")),
            tl("unalias ll", tx("Wieder entfernen", "Remove it again", "Usuń ponownie", "ลบออก"))}),
        te("source",
           tx("Lädt eine Einstellungsdatei neu", "Reloads a settings file", "Wczytuje ponownie plik ustawień",
              "โหลดไฟล์การตั้งค่าใหม่"),
           tx("Führt die Datei in der laufenden Shell aus, damit Änderungen an ~/.zshrc ohne neues Fenster "
              "gelten.",
              "Runs the file in the current shell so that changes to ~/.zshrc apply without a new window.",
              "Wykonuje plik w bieżącej powłoce, aby zmiany w ~/.zshrc działały bez nowego okna.",
              "รันไฟล์ใน Shell ปัจจุบัน เพื่อให้การแก้ ~/.zshrc มีผลโดยไม่ต้องเปิดหน้าต่างใหม่"),
           {tl("source ~/.zshrc")}),
        te("man",
           tx("Zeigt die Anleitung eines Befehls", "Shows a command's manual",
              "Pokazuje instrukcję polecenia", "แสดงคู่มือของคำสั่ง"),
           tx("Die Handbuchseite erscheint wie in less: Leertaste blättert, / sucht, q beendet. Viele "
              "Befehle zeigen mit --help eine Kurzfassung.",
              "The manual page appears as in less: space pages on, / searches, q quits. Many commands show a "
              "short version with --help.",
              "Strona podręcznika wyświetla się jak w less: spacja przewija, / szuka, q kończy. Wiele "
              "poleceń pokazuje skrót z --help.",
              "หน้าคู่มือแสดงแบบ less เว้นวรรคเลื่อน / ค้นหา q ออก หลายคำสั่งแสดงฉบับย่อด้วย --help"),
           {tl("man ls"), tl("man -k copy", tx("Passende Seiten suchen", "Search matching pages",
                                               "Szukaj pasujących stron", "ค้นหาหน้าที่ตรง"))}),
        te("echo, export, env",
           tx("Gibt Text und Variablen aus", "Prints text and variables", "Wypisuje tekst i zmienne",
              "แสดงข้อความและตัวแปร"),
           tx("echo gibt Text aus, $NAME setzt eine Variable ein. export gibt eine Variable an gestartete "
              "Programme weiter, env listet alle.",
              "echo prints text, $NAME inserts a variable. export passes a variable on to started programs, "
              "env lists them all.",
              "echo wypisuje tekst, $NAZWA wstawia zmienną. export przekazuje zmienną uruchamianym "
              "programom, env wypisuje wszystkie.",
              "echo แสดงข้อความ $ชื่อ แทรกค่าตัวแปร export ส่งตัวแปรให้โปรแกรมที่เรียกใช้ env แสดงทั้งหมด"),
           {tl("echo $HOME", tx("Benutzerordner", "Home folder", "Folder domowy", "โฟลเดอร์บ้าน")),
            tl("export EDITOR=nano", tx("Variable setzen", "Set a variable", "Ustaw zmienną", "ตั้งค่าตัวแปร")),
            tl("echo $PATH", tx("Wo die Shell Befehle sucht", "Where the shell looks for commands",
                                "Gdzie powłoka szuka poleceń", "ที่ที่ Shell หาคำสั่ง"))}),
    };
    return items;
}

} // namespace TerminalData
