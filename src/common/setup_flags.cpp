#include "common/setup_flags.h"

// Static storage: zero-initialised before any code of the program runs.
SetupFlagsRecord SetupFlags;
