#pragma once

#include "core/base/Dialogs.h"

class QWidget;

// The core's questions as real Qt windows: a message box with its buttons and an optional check box, a
// text panel and a folder chooser. Each opens window-modal and answers when it closes; none waits in a
// loop of its own. parent() gives the window to attach to (the main window when it exists).
Dialogs makeQtDialogs(std::function<QWidget *()> parent);
