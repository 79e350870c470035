#include "core/help/TerminalDataParts.h"

namespace TerminalData {

const QList<TermEntry> &navigateItems() {
    static const QList<TermEntry> items = {
        te("pwd",
           tx("Zeigt, in welchem Ordner du bist", "Shows which folder you are in",
              "Pokazuje, w którym folderze jesteś", "แสดงว่าคุณอยู่ในโฟลเดอร์ใด"),
           tx("Gibt den vollständigen Pfad des aktuellen Ordners aus. Nützlich, wenn du dich im Terminal "
              "verlaufen hast.",
              "Prints the full path of the current folder. Useful when you have lost your way in the "
              "Terminal.",
              "Wypisuje pełną ścieżkę bieżącego folderu. Przydatne, gdy zgubisz się w terminalu.",
              "แสดงเส้นทางเต็มของโฟลเดอร์ปัจจุบัน มีประโยชน์เมื่อคุณหลงทางใน Terminal"),
           {tl("pwd")}),
        te("cd",
           tx("Wechselt in einen anderen Ordner", "Changes to another folder", "Przechodzi do innego folderu",
              "เปลี่ยนไปยังโฟลเดอร์อื่น"),
           tx("Ohne Ziel geht cd in deinen Benutzerordner. Pfade mit Leerzeichen setzt du in "
              "Anführungszeichen.",
              "Without a target cd goes to your home folder. Put paths with spaces in quotes.",
              "Bez celu cd przechodzi do folderu domowego. Ścieżki ze spacjami ujmij w cudzysłów.",
              "ถ้าไม่ระบุปลายทาง cd จะไปที่โฟลเดอร์บ้าน เส้นทางที่มีช่องว่างให้ใส่ในเครื่องหมายคำพูด"),
           {tl("cd Documents",
               tx("In einen Unterordner", "Into a subfolder", "Do podfolderu", "เข้าไปในโฟลเดอร์ย่อย")),
            tl("cd ..", tx("Eine Ebene nach oben", "One level up", "Poziom wyżej", "ขึ้นไปหนึ่งระดับ")),
            tl("cd ~",
               tx("In den Benutzerordner", "To your home folder", "Do folderu domowego", "ไปที่โฟลเดอร์บ้าน")),
            tl("cd -", tx("Zurück in den vorigen Ordner", "Back to the previous folder",
                          "Wróć do poprzedniego folderu", "กลับไปโฟลเดอร์ก่อนหน้า")),
            tl("cd \"Mein Ordner\"",
               tx("Name mit Leerzeichen", "Name with spaces", "Nazwa ze spacjami", "ชื่อที่มีช่องว่าง"))}),
        te("ls",
           tx("Listet den Inhalt eines Ordners", "Lists the contents of a folder",
              "Wyświetla zawartość folderu", "แสดงรายการในโฟลเดอร์"),
           tx("Ohne Angabe zeigt ls den aktuellen Ordner. -l zeigt Rechte, Größe und Datum, -a auch "
              "versteckte Dateien, -h lesbare Größen.",
              "Without a folder ls shows the current one. -l shows permissions, size and date, -a also "
              "hidden files, -h readable sizes.",
              "Bez folderu ls pokazuje bieżący. -l pokazuje prawa, rozmiar i datę, -a także ukryte pliki, -h "
              "czytelne rozmiary.",
              "ถ้าไม่ระบุโฟลเดอร์ ls จะแสดงโฟลเดอร์ปัจจุบัน -l แสดงสิทธิ์ ขนาดและวันที่ -a แสดงไฟล์ที่ซ่อนด้วย -h "
              "แสดงขนาดแบบอ่านง่าย"),
           {tl("ls"),
            tl("ls -lah", tx("Alles mit Details", "Everything with details", "Wszystko ze szczegółami",
                             "ทั้งหมดพร้อมรายละเอียด")),
            tl("ls -lt", tx("Neueste zuerst", "Newest first", "Najnowsze najpierw", "ใหม่สุดก่อน")),
            tl("ls ~/Downloads", tx("Einen anderen Ordner zeigen", "Show another folder", "Pokaż inny folder",
                                    "แสดงโฟลเดอร์อื่น"))}),
        te("open",
           tx("Öffnet Dateien, Ordner und Programme", "Opens files, folders and apps",
              "Otwiera pliki, foldery i programy", "เปิดไฟล์ โฟลเดอร์ และโปรแกรม"),
           macOnly("Öffnet wie ein Doppelklick im Finder. Mit -a wählst du das Programm, mit -R zeigst du "
                   "die Datei im Finder.",
                   "Opens like a double-click in the Finder. -a picks the app, -R reveals the file in the "
                   "Finder.",
                   "Otwiera jak dwuklik w Finderze. -a wybiera program, -R pokazuje plik w Finderze.",
                   "เปิดเหมือนดับเบิลคลิกใน Finder -a เลือกโปรแกรม -R แสดงไฟล์ใน Finder"),
           {tl("open .", tx("Aktuellen Ordner im Finder öffnen", "Open the current folder in the Finder",
                            "Otwórz bieżący folder w Finderze", "เปิดโฟลเดอร์ปัจจุบันใน Finder")),
            tl("open datei.pdf", tx("Mit dem Standardprogramm", "With the default app", "Domyślnym programem",
                                    "ด้วยโปรแกรมเริ่มต้น")),
            tl("open -a TextEdit datei.txt", tx("Mit einem bestimmten Programm", "With a given app",
                                                "Wybranym programem", "ด้วยโปรแกรมที่กำหนด")),
            tl("open -R datei.txt",
               tx("Im Finder zeigen", "Reveal in the Finder", "Pokaż w Finderze", "แสดงใน Finder"))}),
        te("file",
           tx("Erkennt, was in einer Datei steckt", "Tells what kind of file it is",
              "Rozpoznaje rodzaj pliku", "บอกว่าไฟล์เป็นชนิดใด"),
           tx("file liest den Anfang der Datei und richtet sich nicht nach der Endung. Hilft bei Dateien "
              "ohne oder mit falscher Endung.",
              "file reads the start of the file and ignores the extension. Helps with files that have no or "
              "a wrong extension.",
              "file czyta początek pliku i nie patrzy na rozszerzenie. Pomaga przy plikach bez rozszerzenia "
              "lub ze złym.",
              "file อ่านส่วนต้นของไฟล์โดยไม่สนนามสกุล ช่วยได้กับไฟล์ที่ไม่มีหรือมีนามสกุลผิด"),
           {tl("file datei"), tl("file *", tx("Alle Dateien im Ordner", "Every file in the folder",
                                              "Wszystkie pliki w folderze", "ทุกไฟล์ในโฟลเดอร์"))}),
    };
    return items;
}

const QList<TermEntry> &filesItems() {
    static const QList<TermEntry> items = {
        te("mkdir", tx("Legt Ordner an", "Creates folders", "Tworzy foldery", "สร้างโฟลเดอร์"),
           tx("Mit -p entstehen auch fehlende Zwischenordner, und ein vorhandener Ordner ist kein Fehler.",
              "With -p missing parent folders are created too, and an existing folder is no error.",
              "Z -p powstają też brakujące foldery pośrednie, a istniejący folder nie jest błędem.",
              "ใช้ -p เพื่อสร้างโฟลเดอร์ระหว่างทางที่ยังไม่มีด้วย และโฟลเดอร์ที่มีอยู่แล้วจะไม่ถือเป็นข้อผิดพลาด"),
           {tl("mkdir ordner"),
            tl("mkdir -p projekt/bilder/2026", tx("Mit Zwischenordnern", "With parent folders",
                                                  "Z folderami pośrednimi", "พร้อมโฟลเดอร์ระหว่างทาง"))}),
        te("touch",
           tx("Legt eine leere Datei an", "Creates an empty file", "Tworzy pusty plik", "สร้างไฟล์ว่าง"),
           tx("Gibt es die Datei schon, setzt touch nur ihr Änderungsdatum auf jetzt; der Inhalt bleibt.",
              "If the file exists, touch only sets its modification date to now; the contents stay.",
              "Jeśli plik istnieje, touch ustawia tylko datę modyfikacji na teraz; zawartość zostaje.",
              "ถ้ามีไฟล์อยู่แล้ว touch จะเปลี่ยนแค่วันที่แก้ไขเป็นตอนนี้ เนื้อหาไม่เปลี่ยน"),
           {tl("touch notiz.txt")}),
        te("cp",
           tx("Kopiert Dateien und Ordner", "Copies files and folders", "Kopiuje pliki i foldery",
              "คัดลอกไฟล์และโฟลเดอร์"),
           tx("Ordner brauchen -r. Eine gleichnamige Datei im Ziel wird ohne Rückfrage ersetzt; -i fragt "
              "vorher.",
              "Folders need -r. A file of the same name in the target is replaced without asking; -i asks "
              "first.",
              "Foldery wymagają -r. Plik o tej samej nazwie w celu jest zastępowany bez pytania; -i pyta "
              "najpierw.",
              "โฟลเดอร์ต้องใช้ -r ไฟล์ชื่อเดียวกันที่ปลายทางจะถูกแทนที่โดยไม่ถาม ใช้ -i เพื่อให้ถามก่อน"),
           {tl("cp datei.txt kopie.txt"),
            tl("cp -r ordner ziel/",
               tx("Ordner mit Inhalt", "Folder with contents", "Folder z zawartością", "โฟลเดอร์พร้อมเนื้อหา")),
            tl("cp -i datei.txt ziel/", tx("Vor dem Überschreiben fragen", "Ask before overwriting",
                                           "Pytaj przed nadpisaniem", "ถามก่อนเขียนทับ"))}),
        te("mv",
           tx("Verschiebt oder benennt um", "Moves or renames", "Przenosi lub zmienia nazwę",
              "ย้ายหรือเปลี่ยนชื่อ"),
           tx("Derselbe Befehl verschiebt und benennt um. Ein gleichnamiges Ziel wird ohne Rückfrage "
              "ersetzt; -i fragt vorher.",
              "The same command moves and renames. A target of the same name is replaced without asking; -i "
              "asks first.",
              "To samo polecenie przenosi i zmienia nazwę. Cel o tej samej nazwie jest zastępowany bez "
              "pytania; -i pyta najpierw.",
              "คำสั่งเดียวกันใช้ทั้งย้ายและเปลี่ยนชื่อ ปลายทางชื่อเดียวกันจะถูกแทนที่โดยไม่ถาม ใช้ -i เพื่อให้ถามก่อน"),
           {tl("mv alt.txt neu.txt", tx("Umbenennen", "Rename", "Zmień nazwę", "เปลี่ยนชื่อ")),
            tl("mv datei.txt ordner/", tx("In einen Ordner verschieben", "Move into a folder",
                                          "Przenieś do folderu", "ย้ายเข้าโฟลเดอร์")),
            tl("mv -i datei.txt ordner/", tx("Vorher fragen", "Ask first", "Zapytaj najpierw", "ถามก่อน"))}),
        te("rm",
           tx("Löscht Dateien endgültig", "Deletes files for good", "Usuwa pliki na stałe", "ลบไฟล์ถาวร"),
           tx("rm benutzt den Papierkorb nicht. Was weg ist, ist weg. Nimm lieber trash, wenn du es "
              "zurückholen können willst.",
              "rm does not use the Trash. What is gone is gone. Use trash instead if you want to get it "
              "back.",
              "rm nie używa Kosza. Co usunięte, przepadło. Użyj raczej trash, jeśli chcesz móc to odzyskać.",
              "rm ไม่ใช้ถังขยะ ลบแล้วหายเลย ใช้ trash แทนถ้าต้องการกู้คืนได้"),
           {tl("rm datei.txt"),
            tl("rm -i datei.txt", tx("Vorher nachfragen", "Ask first", "Zapytaj najpierw", "ถามก่อน")),
            tl("rm -r Ordner",
               tx("Ordner mit Inhalt", "Folder with contents", "Folder z zawartością", "โฟลเดอร์พร้อมเนื้อหา"))},
           tx("Es gibt kein Zurück. rm -rf fragt nicht nach und löscht alles darunter. Prüfe den Pfad "
              "zweimal, besonders bei * und ~. Gib nie rm -rf / oder rm -rf ~ ein.",
              "There is no undo. rm -rf does not ask and deletes everything below. Check the path twice, "
              "especially with * and ~. Never type rm -rf / or rm -rf ~.",
              "Nie ma cofania. rm -rf nie pyta i usuwa wszystko poniżej. Sprawdź ścieżkę dwa razy, zwłaszcza "
              "przy * i ~. Nigdy nie wpisuj rm -rf / ani rm -rf ~.",
              "ไม่มีทางย้อนกลับ rm -rf ไม่ถามและลบทุกอย่างข้างใต้ ตรวจเส้นทางสองครั้ง โดยเฉพาะเมื่อมี * และ ~ ห้ามพิมพ์ rm -rf "
              "/ หรือ rm -rf ~ เด็ดขาด")),
        te("trash",
           tx("Legt Dateien in den Papierkorb", "Moves files to the Trash", "Przenosi pliki do Kosza",
              "ย้ายไฟล์ไปถังขยะ"),
           macOnly("Die sichere Alternative zu rm: Was im Papierkorb liegt, holst du im Finder zurück.",
                   "The safe alternative to rm: you get back what lies in the Trash in the Finder.",
                   "Bezpieczna alternatywa dla rm: to, co jest w Koszu, odzyskasz w Finderze.",
                   "ทางเลือกที่ปลอดภัยแทน rm ของในถังขยะกู้คืนได้ใน Finder"),
           {tl("trash datei.txt"),
            tl("trash ordner", tx("Auch Ordner mit Inhalt", "Folders with contents too",
                                  "Także foldery z zawartością", "โฟลเดอร์พร้อมเนื้อหาก็ได้"))}),
        te("rmdir", tx("Löscht leere Ordner", "Deletes empty folders", "Usuwa puste foldery", "ลบโฟลเดอร์ว่าง"),
           tx("rmdir löscht nur leere Ordner und ist darum ungefährlich. Liegt noch etwas darin, meldet es "
              "einen Fehler.",
              "rmdir deletes only empty folders and is therefore harmless. If anything is left inside, it "
              "reports an error.",
              "rmdir usuwa tylko puste foldery, więc jest bezpieczny. Jeśli coś jest w środku, zgłasza błąd.",
              "rmdir ลบเฉพาะโฟลเดอร์ว่างจึงไม่อันตราย ถ้ายังมีของอยู่ข้างในจะแจ้งข้อผิดพลาด"),
           {tl("rmdir ordner")}),
        te("ln", tx("Legt Verknüpfungen an", "Creates links", "Tworzy dowiązania", "สร้างลิงก์"),
           tx("ln -s legt einen symbolischen Link an, der auf das Original zeigt. Zuerst kommt das Original, "
              "dann der Name des Links.",
              "ln -s creates a symbolic link that points to the original. The original comes first, then the "
              "name of the link.",
              "ln -s tworzy dowiązanie symboliczne wskazujące na oryginał. Najpierw oryginał, potem nazwa "
              "dowiązania.",
              "ln -s สร้างลิงก์สัญลักษณ์ที่ชี้ไปยังต้นฉบับ ใส่ต้นฉบับก่อน แล้วตามด้วยชื่อลิงก์"),
           {tl("ln -s ~/Documents/projekt projekt",
               tx("Symbolischer Link", "Symbolic link", "Dowiązanie symboliczne", "ลิงก์สัญลักษณ์")),
            tl("ls -l projekt", tx("Zeigt, wohin er zeigt", "Shows where it points",
                                   "Pokazuje, dokąd wskazuje", "แสดงว่าชี้ไปที่ใด"))}),
        te("ditto",
           tx("Kopiert mit allen Mac-Eigenschaften", "Copies with all Mac attributes",
              "Kopiuje ze wszystkimi atrybutami Maca", "คัดลอกพร้อมคุณสมบัติทั้งหมดของ Mac"),
           macOnly("ditto kopiert Ordner samt erweiterten Attributen und Rechten und kann ZIP-Archive wie "
                   "der Finder erstellen.",
                   "ditto copies folders with extended attributes and permissions and can create ZIP "
                   "archives like the Finder.",
                   "ditto kopiuje foldery z rozszerzonymi atrybutami i prawami oraz tworzy archiwa ZIP jak "
                   "Finder.",
                   "ditto คัดลอกโฟลเดอร์พร้อมแอตทริบิวต์เสริมและสิทธิ์ และสร้างไฟล์ ZIP ได้แบบเดียวกับ Finder"),
           {tl("ditto ordner ziel", tx("Ordner kopieren", "Copy a folder", "Skopiuj folder", "คัดลอกโฟลเดอร์")),
            tl("ditto -c -k --keepParent ordner archiv.zip",
               tx("ZIP wie im Finder", "ZIP like the Finder", "ZIP jak w Finderze", "ZIP แบบ Finder"))}),
    };
    return items;
}

} // namespace TerminalData
