#pragma once

// The file-system steps lie beneath the file operations: an include of them is refused.
#include "core/fileops/FileOps.h"
#include "core/localisation/Lang.h"
