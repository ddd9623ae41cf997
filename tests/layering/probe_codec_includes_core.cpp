// Must not compile: the codec sits below the core and the platform port.
#include "core/SmsStore.h"
