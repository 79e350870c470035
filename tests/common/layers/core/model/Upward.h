#pragma once

// An include from the model up into the application layer, which the layer check must refuse.
#include "core/app/AppState.h"
#include "core/base/Defaults.h"
#include "platform/Posix.h"
