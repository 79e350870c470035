#pragma once

#include <QString>

class QFileDialog;

// What every file chooser of ours shares (the file, folder and application choosers): our own words,
// since Qt has none for some of our languages (Thai), columns as wide as what they show, and a start in a
// folder that is there.
namespace ChooserLook {

enum class Kind { files, folders };

// Labels, buttons and column titles of a non-native chooser in the interface language, its columns fitted
// to their titles and contents; the dialog and its side list grow with the text. accept: the confirming
// button (kept as it is when empty). Call once the dialog is open, so that it has its window's text size.
void fit(QFileDialog *dialog, Kind kind, const QString &accept);

// The folder a chooser opens in: wanted when it is a folder, else the nearest folder above it that is
// there; the home folder where nothing was wanted or only the root is left.
QString startFolder(const QString &wanted);

} // namespace ChooserLook
