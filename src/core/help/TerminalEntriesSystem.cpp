#include "core/help/TerminalDataParts.h"

namespace TerminalData {

const QList<TermEntry> &rightsItems() {
    static const QList<TermEntry> items = {
        te("chmod",
           tx("Ändert die Zugriffsrechte", "Changes permissions", "Zmienia prawa dostępu",
              "เปลี่ยนสิทธิ์การเข้าถึง"),
           tx("u, g und o stehen für dich, die Gruppe und alle anderen; r lesen, w schreiben, x ausführen. "
              "+x macht ein Skript ausführbar.",
              "u, g and o stand for you, the group and everyone else; r read, w write, x execute. +x makes a "
              "script executable.",
              "u, g i o to ty, grupa i wszyscy inni; r czytanie, w pisanie, x wykonywanie. +x czyni skrypt "
              "wykonywalnym.",
              "u g o หมายถึงคุณ กลุ่ม และคนอื่นทั้งหมด r อ่าน w เขียน x เรียกใช้ +x ทำให้สคริปต์เรียกใช้ได้"),
           {tl("chmod +x skript.sh",
               tx("Ausführbar machen", "Make executable", "Uczyń wykonywalnym", "ทำให้เรียกใช้ได้")),
            tl("chmod 644 datei.txt", tx("Du schreibst, alle lesen", "You write, everyone reads",
                                         "Ty piszesz, wszyscy czytają", "คุณเขียนได้ ทุกคนอ่านได้")),
            tl("chmod go-r geheim.txt", tx("Anderen das Lesen nehmen", "Take reading from others",
                                           "Odbierz innym czytanie", "ห้ามคนอื่นอ่าน"))},
           tx("Rechte mit -R oder gar 777 zu setzen ist selten richtig und kann Programme und die Sicherheit "
              "beschädigen. Nutze es nur auf deinen eigenen Ordnern.",
              "Setting permissions with -R or even 777 is rarely right and can damage apps and security. Use "
              "it only on your own folders.",
              "Ustawianie praw z -R, a tym bardziej 777, rzadko jest słuszne i może uszkodzić programy i "
              "bezpieczeństwo. Używaj tego tylko na własnych folderach.",
              "การตั้งสิทธิ์ด้วย -R หรือ 777 แทบไม่เคยถูกต้องและอาจทำให้โปรแกรมและความปลอดภัยเสียหาย "
              "ใช้กับโฟลเดอร์ของคุณเองเท่านั้น")),
        te("chown", tx("Ändert den Besitzer", "Changes the owner", "Zmienia właściciela", "เปลี่ยนเจ้าของ"),
           tx("Setzt Besitzer und Gruppe einer Datei. Fremde Dateien zu übernehmen braucht sudo; -R wirkt "
              "auf den ganzen Ordner.",
              "Sets the owner and group of a file. Taking over other people's files needs sudo; -R acts on "
              "the whole folder.",
              "Ustawia właściciela i grupę pliku. Przejęcie cudzych plików wymaga sudo; -R działa na cały "
              "folder.",
              "กำหนดเจ้าของและกลุ่มของไฟล์ การยึดไฟล์ของผู้อื่นต้องใช้ sudo -R มีผลกับทั้งโฟลเดอร์"),
           {tl("sudo chown $USER datei.txt",
               tx("Dir selbst geben", "Give it to yourself", "Przypisz sobie", "ให้เป็นของคุณเอง")),
            tl("sudo chown -R $USER:staff ordner", tx("Ganzen Ordner übernehmen", "Take over a whole folder",
                                                      "Przejmij cały folder", "ยึดทั้งโฟลเดอร์"))},
           tx("Wirkt auf alles unterhalb des Ordners. Auf Systemordnern kann es macOS unbrauchbar machen.",
              "Acts on everything below the folder. On system folders it can make macOS unusable.",
              "Działa na wszystko poniżej folderu. Na folderach systemowych może unieruchomić macOS.",
              "มีผลกับทุกอย่างใต้โฟลเดอร์ ถ้าใช้กับโฟลเดอร์ระบบอาจทำให้ macOS ใช้งานไม่ได้")),
        te("sudo",
           tx("Führt einen Befehl als Administrator aus", "Runs a command as administrator",
              "Uruchamia polecenie jako administrator", "เรียกใช้คำสั่งในฐานะผู้ดูแลระบบ"),
           tx("sudo fragt nach deinem Anmeldepasswort; beim Tippen erscheinen keine Zeichen. Danach gilt es "
              "einige Minuten lang.",
              "sudo asks for your login password; no characters appear while you type. It then holds for a "
              "few minutes.",
              "sudo pyta o hasło logowania; podczas pisania nie widać znaków. Potem działa przez kilka "
              "minut.",
              "sudo จะถามรหัสผ่านเข้าระบบ ขณะพิมพ์จะไม่เห็นตัวอักษร จากนั้นจะใช้ได้อยู่หลายนาที"),
           {tl("sudo befehl"),
            tl("sudo -k", tx("Berechtigung sofort vergessen", "Forget the permission at once",
                             "Zapomnij uprawnienie od razu", "ยกเลิกสิทธิ์ทันที"))},
           tx("Mit sudo gibt es kein Sicherheitsnetz. Führe keine Befehle aus dem Internet aus, die du nicht "
              "verstehst.",
              "With sudo there is no safety net. Do not run commands from the internet that you do not "
              "understand.",
              "Z sudo nie ma siatki bezpieczeństwa. Nie uruchamiaj poleceń z internetu, których nie "
              "rozumiesz.",
              "sudo ไม่มีตาข่ายนิรภัย อย่าเรียกใช้คำสั่งจากอินเทอร์เน็ตที่คุณไม่เข้าใจ")),
        te("xattr",
           tx("Zeigt und entfernt erweiterte Attribute", "Shows and removes extended attributes",
              "Pokazuje i usuwa rozszerzone atrybuty", "แสดงและลบแอตทริบิวต์เสริม"),
           macOnly("Die Markierung com.apple.quarantine trägt alles aus dem Internet; sie löst die Frage "
                   "beim ersten Öffnen aus.",
                   "The mark com.apple.quarantine sits on everything from the internet; it triggers the "
                   "question on first opening.",
                   "Znacznik com.apple.quarantine ma wszystko z internetu; wywołuje pytanie przy pierwszym "
                   "otwarciu.",
                   "เครื่องหมาย com.apple.quarantine ติดอยู่กับทุกอย่างที่มาจากอินเทอร์เน็ต ทำให้มีคำถามเมื่อเปิดครั้งแรก"),
           {tl("xattr datei.dmg",
               tx("Attribute auflisten", "List the attributes", "Wypisz atrybuty", "แสดงแอตทริบิวต์")),
            tl("xattr -d com.apple.quarantine Programm.app",
               tx("Quarantäne-Markierung entfernen", "Remove the quarantine mark",
                  "Usuń znacznik kwarantanny", "ลบเครื่องหมายกักกัน"))},
           tx("Entferne die Markierung nur bei Programmen aus einer Quelle, der du vertraust. Sie schützt "
              "vor Schadsoftware.",
              "Remove the mark only from apps from a source you trust. It protects against malware.",
              "Usuwaj znacznik tylko z programów ze źródła, któremu ufasz. Chroni przed złośliwym "
              "oprogramowaniem.",
              "ลบเครื่องหมายเฉพาะโปรแกรมจากแหล่งที่คุณไว้ใจ มันช่วยป้องกันมัลแวร์")),
        te("spctl",
           tx("Prüft Programme mit Gatekeeper", "Checks apps with Gatekeeper",
              "Sprawdza programy przez Gatekeeper", "ตรวจโปรแกรมด้วย Gatekeeper"),
           macOnly("Sagt, ob Gatekeeper ein Programm starten lassen würde und wer es signiert hat.",
                   "Tells whether Gatekeeper would let an app start and who signed it.",
                   "Mówi, czy Gatekeeper pozwoli uruchomić program i kto go podpisał.",
                   "บอกว่า Gatekeeper จะยอมให้เปิดโปรแกรมหรือไม่ และใครเป็นผู้ลงนาม"),
           {tl("spctl -a -vv /Applications/Programm.app",
               tx("Programm prüfen", "Check an app", "Sprawdź program", "ตรวจโปรแกรม")),
            tl("spctl --status", tx("Ist Gatekeeper an?", "Is Gatekeeper on?",
                                    "Czy Gatekeeper jest włączony?", "Gatekeeper เปิดอยู่หรือไม่"))}),
        te("codesign",
           tx("Prüft die Signatur eines Programms", "Checks an app's signature", "Sprawdza podpis programu",
              "ตรวจลายเซ็นของโปรแกรม"),
           macOnly("Zeigt, wer ein Programm signiert hat, und ob es seit der Signatur verändert wurde.",
                   "Shows who signed an app and whether it has been changed since it was signed.",
                   "Pokazuje, kto podpisał program i czy zmieniono go od podpisania.",
                   "แสดงว่าใครลงนามโปรแกรม และถูกแก้ไขหลังลงนามหรือไม่"),
           {tl("codesign -dv /Applications/Programm.app",
               tx("Signatur zeigen", "Show the signature", "Pokaż podpis", "แสดงลายเซ็น")),
            tl("codesign --verify --verbose /Applications/Programm.app",
               tx("Unverändert?", "Unchanged?", "Niezmieniony?", "ไม่ถูกแก้ไขใช่ไหม"))}),
        te("csrutil",
           tx("Zeigt den Systemintegritätsschutz", "Shows System Integrity Protection",
              "Pokazuje ochronę integralności systemu", "แสดงการป้องกันความสมบูรณ์ของระบบ"),
           macOnly("Im normalen Betrieb kannst du nur den Status abfragen; ändern geht nur in der "
                   "Wiederherstellung. Lass den Schutz an.",
                   "In normal use you can only ask for the status; changing it works only in Recovery. Leave "
                   "the protection on.",
                   "W zwykłej pracy możesz tylko sprawdzić stan; zmiana działa tylko w trybie odzyskiwania. "
                   "Zostaw ochronę włączoną.",
                   "ในการใช้งานปกติทำได้แค่ดูสถานะ การเปลี่ยนทำได้ในโหมดกู้คืนเท่านั้น ควรเปิดการป้องกันไว้"),
           {tl("csrutil status")}),
    };
    return items;
}

const QList<TermEntry> &archivesItems() {
    static const QList<TermEntry> items = {
        te("zip",
           tx("Packt Dateien in ein ZIP-Archiv", "Packs files into a ZIP archive",
              "Pakuje pliki do archiwum ZIP", "รวมไฟล์เป็น ZIP"),
           tx("Ordner brauchen -r. -e fragt nach einem Passwort. -X speichert keine zusätzlichen "
              "Dateiattribute.",
              "Folders need -r. -e asks for a password. -X stores no extra file attributes.",
              "Foldery wymagają -r. -e pyta o hasło. -X nie zapisuje dodatkowych atrybutów plików.",
              "โฟลเดอร์ต้องใช้ -r -e ถามรหัสผ่าน -X ไม่เก็บแอตทริบิวต์เสริมของไฟล์"),
           {tl("zip archiv.zip datei.txt", tx("Eine Datei", "One file", "Jeden plik", "ไฟล์เดียว")),
            tl("zip -r archiv.zip ordner",
               tx("Ordner mit Inhalt", "Folder with contents", "Folder z zawartością", "โฟลเดอร์พร้อมเนื้อหา")),
            tl("zip -er geheim.zip ordner",
               tx("Mit Passwort", "With a password", "Z hasłem", "พร้อมรหัสผ่าน"))}),
        te("unzip",
           tx("Entpackt ZIP-Archive", "Unpacks ZIP archives", "Rozpakowuje archiwa ZIP", "แตกไฟล์ ZIP"),
           tx("Ohne -d landet der Inhalt im aktuellen Ordner. -l zeigt nur, was drin ist.",
              "Without -d the contents land in the current folder. -l only shows what is inside.",
              "Bez -d zawartość trafia do bieżącego folderu. -l tylko pokazuje, co jest w środku.",
              "ถ้าไม่มี -d เนื้อหาจะอยู่ในโฟลเดอร์ปัจจุบัน -l แค่แสดงว่ามีอะไรข้างใน"),
           {tl("unzip archiv.zip", tx("Hierher entpacken", "Unpack here", "Rozpakuj tutaj", "แตกไฟล์ที่นี่")),
            tl("unzip archiv.zip -d ziel",
               tx("In einen Ordner", "Into a folder", "Do folderu", "ไปยังโฟลเดอร์")),
            tl("unzip -l archiv.zip",
               tx("Inhalt anzeigen", "Show the contents", "Pokaż zawartość", "แสดงรายการข้างใน"))}),
        te("tar",
           tx("Packt und entpackt tar-Archive", "Packs and unpacks tar archives",
              "Pakuje i rozpakowuje archiwa tar", "รวมและแตกไฟล์ tar"),
           tx("c = erstellen, x = entpacken, t = Inhalt zeigen, z = gzip, f = Dateiname. Die Optionen stehen "
              "direkt nach tar.",
              "c = create, x = extract, t = list contents, z = gzip, f = file name. The options come right "
              "after tar.",
              "c = utwórz, x = rozpakuj, t = pokaż zawartość, z = gzip, f = nazwa pliku. Opcje stoją zaraz "
              "po tar.",
              "c = สร้าง x = แตกไฟล์ t = แสดงรายการ z = gzip f = ชื่อไฟล์ ตัวเลือกวางต่อจาก tar ทันที"),
           {tl("tar -czf archiv.tar.gz ordner",
               tx("Packen mit gzip", "Pack with gzip", "Spakuj z gzip", "รวมด้วย gzip")),
            tl("tar -xzf archiv.tar.gz", tx("Entpacken", "Unpack", "Rozpakuj", "แตกไฟล์")),
            tl("tar -tf archiv.tar.gz",
               tx("Inhalt anzeigen", "Show the contents", "Pokaż zawartość", "แสดงรายการข้างใน"))}),
    };
    return items;
}

const QList<TermEntry> &disksItems() {
    static const QList<TermEntry> items = {
        te("du",
           tx("Zeigt, wie viel Platz Ordner belegen", "Shows how much space folders take",
              "Pokazuje, ile miejsca zajmują foldery", "แสดงพื้นที่ที่โฟลเดอร์ใช้"),
           tx("-h zeigt lesbare Größen, -s nur die Summe je Angabe. Mit sort -h sortierst du nach Größe.",
              "-h shows readable sizes, -s only the total per argument. sort -h sorts by size.",
              "-h pokazuje czytelne rozmiary, -s tylko sumę dla każdego argumentu. sort -h sortuje według "
              "rozmiaru.",
              "-h แสดงขนาดแบบอ่านง่าย -s แสดงเฉพาะผลรวม ใช้ sort -h เพื่อเรียงตามขนาด"),
           {tl("du -sh ordner",
               tx("Größe eines Ordners", "Size of a folder", "Rozmiar folderu", "ขนาดของโฟลเดอร์")),
            tl("du -sh * | sort -h", tx("Alles hier, nach Größe", "Everything here, by size",
                                        "Wszystko tutaj, według rozmiaru", "ทุกอย่างที่นี่ เรียงตามขนาด"))}),
        te("df",
           tx("Zeigt freien Platz der Laufwerke", "Shows free space on drives",
              "Pokazuje wolne miejsce na dyskach", "แสดงพื้นที่ว่างของไดรฟ์"),
           tx("Eine Zeile je eingebundenem Laufwerk mit Größe, belegt und frei. -h zeigt lesbare Größen.",
              "One line per mounted drive with size, used and free. -h shows readable sizes.",
              "Jeden wiersz na zamontowany dysk z rozmiarem, zajętym i wolnym miejscem. -h pokazuje czytelne "
              "rozmiary.",
              "หนึ่งบรรทัดต่อไดรฟ์ที่เมานต์ แสดงขนาด ที่ใช้ และที่ว่าง -h แสดงขนาดแบบอ่านง่าย"),
           {tl("df -h", tx("Alle Laufwerke", "Every drive", "Wszystkie dyski", "ไดรฟ์ทั้งหมด")),
            tl("df -h .", tx("Nur das Laufwerk dieses Ordners", "Only this folder's drive",
                             "Tylko dysk tego folderu", "เฉพาะไดรฟ์ของโฟลเดอร์นี้"))}),
        te("diskutil",
           tx("Verwaltet Laufwerke und Volumes", "Manages drives and volumes",
              "Zarządza dyskami i woluminami", "จัดการไดรฟ์และโวลุ่ม"),
           macOnly("Das Festplattendienstprogramm für das Terminal: auflisten, auswerfen, prüfen und "
                   "formatieren.",
                   "Disk Utility for the Terminal: list, eject, verify and format.",
                   "Narzędzie dyskowe w terminalu: wypisuje, wysuwa, sprawdza i formatuje.",
                   "Disk Utility ในรูปแบบ Terminal ใช้แสดงรายการ เอาออก ตรวจสอบ และฟอร์แมต"),
           {tl("diskutil list", tx("Alle Laufwerke", "Every drive", "Wszystkie dyski", "ไดรฟ์ทั้งหมด")),
            tl("diskutil info /", tx("Angaben zum Startvolume", "Facts about the startup volume",
                                     "Dane woluminu startowego", "ข้อมูลโวลุ่มเริ่มระบบ")),
            tl("diskutil eject disk4", tx("Auswerfen", "Eject", "Wysuń", "เอาออก")),
            tl("diskutil verifyVolume /",
               tx("Volume prüfen", "Verify a volume", "Sprawdź wolumin", "ตรวจสอบโวลุ่ม"))},
           tx("diskutil kann ganze Laufwerke löschen (eraseDisk, eraseVolume, partitionDisk). Lies die "
              "Laufwerksnummer in diskutil list genau, bevor du damit etwas machst.",
              "diskutil can erase whole drives (eraseDisk, eraseVolume, partitionDisk). Read the disk number "
              "in diskutil list carefully before you use it.",
              "diskutil potrafi wymazać całe dyski (eraseDisk, eraseVolume, partitionDisk). Dokładnie "
              "odczytaj numer dysku w diskutil list, zanim coś z nim zrobisz.",
              "diskutil ลบทั้งไดรฟ์ได้ (eraseDisk, eraseVolume, partitionDisk) อ่านหมายเลขไดรฟ์ใน diskutil list "
              "ให้ดีก่อนทำอะไร")),
        te("mdutil",
           tx("Steuert den Spotlight-Index", "Controls the Spotlight index", "Steruje indeksem Spotlight",
              "ควบคุมดัชนี Spotlight"),
           macOnly("Zeigt, ob Spotlight ein Volume indiziert, und baut den Index neu auf, wenn die Suche "
                   "nichts mehr findet.",
                   "Shows whether Spotlight indexes a volume and rebuilds the index when searching finds "
                   "nothing any more.",
                   "Pokazuje, czy Spotlight indeksuje wolumin, i odbudowuje indeks, gdy wyszukiwanie nic nie "
                   "znajduje.",
                   "แสดงว่า Spotlight ทำดัชนีโวลุ่มอยู่หรือไม่ และสร้างดัชนีใหม่เมื่อการค้นหาไม่พบอะไร"),
           {tl("mdutil -s /", tx("Status zeigen", "Show the status", "Pokaż stan", "แสดงสถานะ")),
            tl("sudo mdutil -E /",
               tx("Index neu aufbauen", "Rebuild the index", "Odbuduj indeks", "สร้างดัชนีใหม่"))}),
    };
    return items;
}

const QList<TermEntry> &systemItems() {
    static const QList<TermEntry> items = {
        te("top",
           tx("Zeigt laufende Programme live", "Shows running programs live",
              "Pokazuje działające programy na żywo", "แสดงโปรแกรมที่กำลังทำงานแบบสด"),
           tx("Aktualisiert sich laufend. q beendet. -o cpu sortiert nach Prozessorlast, -o mem nach "
              "Speicher.",
              "Updates continuously. q quits. -o cpu sorts by processor load, -o mem by memory.",
              "Odświeża się na bieżąco. q kończy. -o cpu sortuje według obciążenia procesora, -o mem według "
              "pamięci.",
              "อัปเดตตลอดเวลา q ออก -o cpu เรียงตามการใช้ CPU -o mem ตามหน่วยความจำ"),
           {tl("top"),
            tl("top -o cpu",
               tx("Nach Prozessorlast", "By processor load", "Według obciążenia procesora", "ตามการใช้ CPU")),
            tl("top -o mem", tx("Nach Speicher", "By memory", "Według pamięci", "ตามหน่วยความจำ"))}),
        te("ps", tx("Listet Prozesse auf", "Lists processes", "Wypisuje procesy", "แสดงรายการโปรเซส"),
           tx("ps aux zeigt alle Prozesse mit Besitzer, Nummer (PID) und Last. Die PID brauchst du für kill.",
              "ps aux shows every process with owner, number (PID) and load. You need the PID for kill.",
              "ps aux pokazuje wszystkie procesy z właścicielem, numerem (PID) i obciążeniem. PID jest "
              "potrzebny do kill.",
              "ps aux แสดงทุกโปรเซสพร้อมเจ้าของ หมายเลข (PID) และการใช้งาน ต้องใช้ PID กับ kill"),
           {tl("ps aux", tx("Alle Prozesse", "Every process", "Wszystkie procesy", "ทุกโปรเซส")),
            tl("ps aux | grep Safari",
               tx("Ein Programm suchen", "Look for one program", "Znajdź jeden program", "หาโปรแกรมเดียว"))}),
        te("kill",
           tx("Beendet einen Prozess über seine Nummer", "Ends a process by its number",
              "Kończy proces według numeru", "ปิดโปรเซสด้วยหมายเลข"),
           tx("Ohne Option bittet kill das Programm, sich zu beenden. -9 erzwingt es, wenn es nicht mehr "
              "reagiert.",
              "Without options kill asks the program to quit. -9 forces it when it no longer responds.",
              "Bez opcji kill prosi program o zakończenie. -9 wymusza to, gdy przestał odpowiadać.",
              "ถ้าไม่ระบุ kill จะขอให้โปรแกรมปิดตัวเอง -9 บังคับปิดเมื่อโปรแกรมไม่ตอบสนอง"),
           {tl("kill 1234", tx("Höflich beenden", "End politely", "Zakończ grzecznie", "ขอให้ปิด")),
            tl("kill -9 1234", tx("Erzwingen", "Force", "Wymuś", "บังคับปิด"))},
           tx("kill -9 lässt dem Programm keine Zeit zum Speichern. Ungesicherte Arbeit geht verloren.",
              "kill -9 gives the program no time to save. Unsaved work is lost.",
              "kill -9 nie daje programowi czasu na zapis. Niezapisana praca przepada.",
              "kill -9 ไม่ให้เวลาโปรแกรมบันทึก งานที่ยังไม่บันทึกจะหายไป")),
        te("killall",
           tx("Beendet Programme über den Namen", "Ends programs by name", "Kończy programy według nazwy",
              "ปิดโปรแกรมด้วยชื่อ"),
           tx("Beendet alle Prozesse mit diesem Namen; Groß- und Kleinschreibung zählen. Der Finder und das "
              "Dock starten danach von selbst neu.",
              "Ends every process of that name; case matters. The Finder and the Dock restart by themselves "
              "afterwards.",
              "Kończy wszystkie procesy o tej nazwie; wielkość liter ma znaczenie. Finder i Dock uruchamiają "
              "się potem same.",
              "ปิดทุกโปรเซสที่มีชื่อนี้ ตัวพิมพ์เล็กใหญ่มีผล Finder และ Dock จะเปิดใหม่เอง"),
           {tl("killall Finder",
               tx("Finder neu starten", "Restart the Finder", "Uruchom ponownie Finder", "เริ่ม Finder ใหม่")),
            tl("killall Dock",
               tx("Dock neu starten", "Restart the Dock", "Uruchom ponownie Dock", "เริ่ม Dock ใหม่"))}),
        te("lsof",
           tx("Zeigt geöffnete Dateien und Ports", "Shows open files and ports",
              "Pokazuje otwarte pliki i porty", "แสดงไฟล์และพอร์ตที่เปิดอยู่"),
           tx("Hilft, wenn sich ein Laufwerk nicht auswerfen lässt oder ein Port belegt ist: lsof nennt das "
              "Programm, das ihn hält.",
              "Helps when a drive will not eject or a port is taken: lsof names the program holding it.",
              "Pomaga, gdy dysku nie da się wysunąć lub port jest zajęty: lsof podaje program, który go "
              "trzyma.",
              "ช่วยได้เมื่อเอาไดรฟ์ออกไม่ได้หรือพอร์ตถูกใช้อยู่ lsof บอกว่าโปรแกรมใดใช้อยู่"),
           {tl("lsof /Volumes/USB",
               tx("Wer nutzt das Laufwerk?", "Who uses the drive?", "Kto używa dysku?", "ใครใช้ไดรฟ์นี้")),
            tl("lsof -i :8080",
               tx("Wer belegt den Port?", "Who holds the port?", "Kto zajmuje port?", "ใครใช้พอร์ตนี้"))}),
        te("sw_vers, uname",
           tx("Zeigt System- und Kernelversion", "Shows system and kernel version",
              "Pokazuje wersję systemu i jądra", "แสดงเวอร์ชันระบบและเคอร์เนล"),
           tx("sw_vers nennt die macOS-Version und gibt es nur auf macOS; uname gibt es auf jedem Unix und "
              "zeigt den Kernel und die Prozessorart.",
              "sw_vers names the macOS version and exists only on macOS; uname exists on every Unix and "
              "shows the kernel and the processor type.",
              "sw_vers podaje wersję macOS i jest tylko w macOS; uname jest w każdym Uniksie i pokazuje "
              "jądro i typ procesora.",
              "sw_vers บอกเวอร์ชัน macOS และมีเฉพาะบน macOS ส่วน uname มีในทุกระบบ Unix "
              "และแสดงเคอร์เนลและชนิดโปรเซสเซอร์"),
           {tl("sw_vers", tx("macOS-Version", "macOS version", "Wersja macOS", "เวอร์ชัน macOS")),
            tl("uname -a",
               tx("Alles über den Kernel", "All about the kernel", "Wszystko o jądrze", "ข้อมูลเคอร์เนลทั้งหมด")),
            tl("uname -m",
               tx("arm64 oder x86_64", "arm64 or x86_64", "arm64 lub x86_64", "arm64 หรือ x86_64"))}),
        te("system_profiler",
           tx("Listet die Hardware auf", "Lists the hardware", "Wypisuje sprzęt", "แสดงรายการฮาร์ดแวร์"),
           macOnly("Dasselbe wie der Systembericht, als Text. Ohne Bereich dauert es lange; nenne lieber "
                   "einen Datentyp.",
                   "The same as the System Report, as text. Without a section it takes long; better name a "
                   "data type.",
                   "To samo co raport systemowy, jako tekst. Bez sekcji trwa długo; lepiej podaj typ danych.",
                   "เหมือนรายงานระบบแต่เป็นข้อความ ถ้าไม่ระบุหมวดจะนานมาก ควรระบุชนิดข้อมูล"),
           {tl("system_profiler SPHardwareDataType", tx("Modell, Chip, Speicher", "Model, chip, memory",
                                                        "Model, układ, pamięć", "รุ่น ชิป หน่วยความจำ")),
            tl("system_profiler SPStorageDataType", tx("Laufwerke", "Drives", "Dyski", "ไดรฟ์")),
            tl("system_profiler -listDataTypes",
               tx("Alle Bereiche", "Every section", "Wszystkie sekcje", "ทุกหมวด"))}),
        te("caffeinate",
           tx("Hält den Mac wach", "Keeps the Mac awake", "Nie pozwala Macowi zasnąć", "ทำให้ Mac ไม่หลับ"),
           macOnly("Verhindert den Ruhezustand, bis du ⌃C drückst, die Zeit um ist oder der genannte Befehl "
                   "endet.",
                   "Prevents sleep until you press ⌃C, the time is up or the given command ends.",
                   "Blokuje uśpienie, aż naciśniesz ⌃C, minie czas lub zakończy się podane polecenie.",
                   "ป้องกันการพักเครื่องจนกว่าจะกด ⌃C หมดเวลา หรือคำสั่งที่ระบุทำงานเสร็จ"),
           {tl("caffeinate"),
            tl("caffeinate -t 3600",
               tx("Eine Stunde lang", "For one hour", "Przez godzinę", "เป็นเวลาหนึ่งชั่วโมง")),
            tl("caffeinate -i rsync -a quelle/ ziel/",
               tx("Solange der Befehl läuft", "While the command runs", "Dopóki działa polecenie",
                  "ระหว่างที่คำสั่งทำงาน"))}),
        te("pmset",
           tx("Zeigt Energie- und Akku-Einstellungen", "Shows power and battery settings",
              "Pokazuje ustawienia zasilania i baterii", "แสดงการตั้งค่าพลังงานและแบตเตอรี่"),
           macOnly("pmset -g liest die Einstellungen, pmset -g batt den Akkustand. Ändern braucht sudo.",
                   "pmset -g reads the settings, pmset -g batt the battery level. Changing needs sudo.",
                   "pmset -g czyta ustawienia, pmset -g batt stan baterii. Zmiana wymaga sudo.",
                   "pmset -g อ่านการตั้งค่า pmset -g batt ดูระดับแบตเตอรี่ การเปลี่ยนต้องใช้ sudo"),
           {tl("pmset -g", tx("Alle Einstellungen", "Every setting", "Wszystkie ustawienia", "การตั้งค่าทั้งหมด")),
            tl("pmset -g batt", tx("Akkustand", "Battery level", "Stan baterii", "ระดับแบตเตอรี่")),
            tl("pmset -g assertions", tx("Was den Schlaf verhindert", "What prevents sleep",
                                         "Co blokuje uśpienie", "อะไรที่กันไม่ให้เครื่องหลับ"))}),
        te("softwareupdate",
           tx("Sucht und installiert Updates", "Finds and installs updates", "Szuka i instaluje aktualizacje",
              "ค้นหาและติดตั้งอัปเดต"),
           macOnly("Dasselbe wie die Softwareaktualisierung in den Systemeinstellungen, aber im Terminal.",
                   "The same as Software Update in System Settings, but in the Terminal.",
                   "To samo co uaktualnienia w ustawieniach systemowych, ale w terminalu.",
                   "เหมือนการอัปเดตซอฟต์แวร์ในการตั้งค่าระบบ แต่ทำใน Terminal"),
           {tl("softwareupdate -l",
               tx("Verfügbare Updates", "Available updates", "Dostępne aktualizacje", "อัปเดตที่มี")),
            tl("sudo softwareupdate -i -a -R",
               tx("Alle installieren und neu starten", "Install all and restart",
                  "Zainstaluj wszystkie i uruchom ponownie", "ติดตั้งทั้งหมดและเริ่มใหม่"))},
           tx("Installiert alle Updates und kann den Mac neu starten. Speichere vorher deine Arbeit.",
              "Installs every update and may restart the Mac. Save your work first.",
              "Instaluje wszystkie aktualizacje i może uruchomić Maca ponownie. Najpierw zapisz pracę.",
              "ติดตั้งอัปเดตทั้งหมดและอาจเริ่ม Mac ใหม่ บันทึกงานไว้ก่อน")),
        te("tmutil",
           tx("Steuert Time Machine", "Controls Time Machine", "Steruje Time Machine", "ควบคุม Time Machine"),
           macOnly("Startet ein Backup, zeigt den Stand und listet die vorhandenen Backups.",
                   "Starts a backup, shows its progress and lists the existing backups.",
                   "Uruchamia kopię, pokazuje postęp i wypisuje istniejące kopie.",
                   "เริ่มสำรองข้อมูล แสดงความคืบหน้า และแสดงรายการข้อมูลสำรองที่มี"),
           {tl("tmutil startbackup", tx("Backup jetzt", "Back up now", "Kopia teraz", "สำรองตอนนี้")),
            tl("tmutil status",
               tx("Stand des Backups", "Backup progress", "Postęp kopii", "ความคืบหน้าการสำรอง")),
            tl("tmutil listbackups",
               tx("Vorhandene Backups", "Existing backups", "Istniejące kopie", "ข้อมูลสำรองที่มี"))}),
        te("date, cal",
           tx("Zeigt Datum und Kalender", "Shows the date and a calendar", "Pokazuje datę i kalendarz",
              "แสดงวันที่และปฏิทิน"),
           tx("date gibt Datum und Uhrzeit aus, mit + und Platzhaltern in eigener Form. cal zeigt den Monat.",
              "date prints the date and time, with + and placeholders in your own format. cal shows the "
              "month.",
              "date wypisuje datę i godzinę, z + i symbolami we własnym formacie. cal pokazuje miesiąc.",
              "date แสดงวันที่และเวลา ใช้ + และตัวแทนเพื่อกำหนดรูปแบบเอง cal แสดงเดือน"),
           {tl("date"),
            tl("date +%Y-%m-%d", tx("Nur das Datum, sortierbar", "Date only, sortable",
                                    "Tylko data, do sortowania", "เฉพาะวันที่ เรียงได้")),
            tl("cal 2027", tx("Ein ganzes Jahr", "A whole year", "Cały rok", "ทั้งปี"))}),
        te("whoami, uptime",
           tx("Zeigt Benutzer und Laufzeit", "Shows the user and uptime", "Pokazuje użytkownika i czas pracy",
              "แสดงผู้ใช้และเวลาที่เปิดเครื่อง"),
           tx("whoami nennt den Kurznamen, unter dem du arbeitest. uptime zeigt, wie lange der Mac seit dem "
              "Start läuft, und die Last.",
              "whoami names the short name you work under. uptime shows how long the Mac has run since "
              "startup, and the load.",
              "whoami podaje krótką nazwę, pod którą pracujesz. uptime pokazuje, jak długo Mac działa od "
              "startu, oraz obciążenie.",
              "whoami บอกชื่อย่อที่คุณใช้งานอยู่ uptime แสดงว่า Mac ทำงานมานานเท่าไรตั้งแต่เปิด และภาระงาน"),
           {tl("whoami"), tl("uptime")}),
    };
    return items;
}

} // namespace TerminalData
