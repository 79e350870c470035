#pragma once

#include "core/fileops/ArchiveFormat.h"

#include <QString>

// The registry ids of the commands the toolbar triggers beyond those of Cmd.
namespace ToolbarCmd {
inline const QString newFile = QStringLiteral("Neue Datei");
inline const QString refresh = QStringLiteral("Aktualisieren");
inline const QString trash = QStringLiteral("In den Papierkorb …");
inline const QString undo = QStringLiteral("Rückgängig");
inline const QString quickLook = QStringLiteral("Schnellvorschau");
inline const QString duplicate = QStringLiteral("Duplizieren");
inline const QString compressZip = QStringLiteral("Komprimieren (ZIP)");
inline QString compressAs(ArchiveFormat format) {
    return Archive::title(format);
}
inline const QString extract = QStringLiteral("Entpacken");
inline const QString makeAlias = QStringLiteral("Alias erzeugen");
inline const QString terminal = QStringLiteral("Im Terminal öffnen");
inline const QString textEditor = QStringLiteral("Im Texteditor öffnen");
inline const QString compare = QStringLiteral("Ordner vergleichen und synchronisieren …");
inline const QString rules = QStringLiteral("Aufräum-Regeln …");
inline const QString storage = QStringLiteral("Speicheranalyse …");
inline const QString shortcuts = QStringLiteral("macOS-Tastenkürzel nachschauen …");
inline const QString terminalHelp = QStringLiteral("Terminal-Hilfe …");
inline const QString sidebar = QStringLiteral("Seitenleiste");
inline const QString inspector = QStringLiteral("Info-Leiste");
inline const QString dualPane = QStringLiteral("Zwei Fenster");
inline const QString back = QStringLiteral("Zurück");
inline const QString forward = QStringLiteral("Vorwärts");
inline const QString icons = QStringLiteral("Als Symbole");
inline const QString list = QStringLiteral("Als Liste");
inline const QString columns = QStringLiteral("Als Spalten");
} // namespace ToolbarCmd
