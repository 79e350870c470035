#pragma once

#include "ui/style/ButtonStyles.h"

#include <QPointer>

class WindowRequests;

// The question-mark button of sheets and settings pages: opens the manual at its chapter.
class HelpButton : public IconButton {
    Q_OBJECT
public:
    HelpButton(WindowRequests *requests, int section, QWidget *parent = nullptr);
    int section() const { return m_section; }
    ButtonLook look() const override;

private:
    QPointer<WindowRequests> m_requests;
    int m_section;
};
