// Must not compile: the platform port sits below the device layer it serves.
#include "core/MBManager.h"
