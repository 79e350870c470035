#pragma once

#include <QIcon>

// The picture at the start of the main window's toolbar.
namespace AppIcons {
// The bundled "TitleSymbol.png" when present and readable, else the application's icon; made once.
QIcon titleSymbol();
// The same choice for a resource path, for tests.
QIcon titleSymbolFrom(const QString &resource);
} // namespace AppIcons
