#pragma once

#include <QDialog>
#include <QPointer>

// The About panel: name, version and build line, the credits and the copyright line. Built afresh at
// every opening, so its texts and date are in the language of that moment.
class AboutPanel : public QDialog {
    Q_OBJECT
public:
    explicit AboutPanel(QWidget *parent = nullptr);
    // Opens the one panel (or rebuilds and raises the open one).
    static AboutPanel *openPanel();
    // The credits as rich text (each line its own paragraph).
    static QString creditsHtml();

private:
    void rebuild();
};
