#pragma once

#include "core/help/TerminalData.h"

// Details of commands that exist only on the other system say so in their last sentence.
Tx macOnly(const char *de, const char *en, const char *pl, const char *th);
