// A tool that reaches past the steps' own headers.
#include "core/filesteps/PosixSteps.h"
