#pragma once

#include "core/base/Dialogs.h"

#include <QFileDialog>

// The open panel that takes files and folders alike, several at once: a folder chosen with the button is
// taken as it is instead of being entered.
class FilesPanel : public QFileDialog {
    Q_OBJECT
public:
    FilesPanel(QWidget *parent, const FilesQuestion &q);
    // What is selected in the panel's views, else what the name field names.
    QStringList chosen() const;

    // Opens the panel window-modal; done gets the chosen paths, or nothing on cancel.
    static FilesPanel *open(QWidget *parent, const FilesQuestion &q, Dialogs::FilesDone done);

public slots:
    void accept() override;

private:
    QStringList m_chosen;
};
