#pragma once
// The cleanup values live with the scan result that carries them.
#include "engine/CleanupItem.h"
