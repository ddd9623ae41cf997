// Must not compile: the core reaches modems only through the platform port.
#include "platform/sim/SimModem.h"
