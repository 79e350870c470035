#pragma once

#include <QIcon>

// Kestrin's own icon, and the picture at the start of the main window's toolbar.
namespace AppIcons {
// The application's icon, drawn from the bundled SVG at the usual sizes; made once.
QIcon appIcon();
// Makes the application's icon the icon of every window.
void install();
// The bundled "TitleSymbol.png" when present and readable, else the application's icon; made once.
QIcon titleSymbol();
// The same choice for a resource path, for tests.
QIcon titleSymbolFrom(const QString &resource);
} // namespace AppIcons
