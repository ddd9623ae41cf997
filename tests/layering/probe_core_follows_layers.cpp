// Compiles: the core sees its own headers, the port and the libraries below it.
#include "core/MBManager.h"
#include "platform/MbnPort.h"
#include "sms/SMS.h"
#include "sqlite/SQLiteDB.h"
