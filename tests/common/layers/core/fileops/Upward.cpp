// A source file that includes the window layer: the check reads sources as well as headers.
#include "core/fileops/Engine.h"
#include "ui/window/MainWindow.h"
