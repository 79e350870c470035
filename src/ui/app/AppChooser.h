#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// The open panel for applications: .desktop entries, starting in an application folder. Window-modal,
// opened with open(); answers with the chosen files, or an empty list when cancelled. A menu given as the
// parent stands for the window it was opened from.
void chooseApplications(QWidget *parent, const QString &title, const QString &directory, bool many,
                        std::function<void(const QStringList &)> done);
