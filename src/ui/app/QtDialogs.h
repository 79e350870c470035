#pragma once

#include "core/base/Dialogs.h"

class QWidget;

// The core's questions as real Qt alerts: a message box with its buttons and an optional check box.
// parent() gives the window to attach to (the main window when it exists).
Dialogs makeQtDialogs(std::function<QWidget *()> parent);
