#include "Modules.h"

#include "SMS.h"

namespace Ombrelay
{

// Each step is one line; a subsystem joins by filling in its own.
TModules::TModules()
    : FSmsTables([] { InitSmsTables(); })
    , FNamedMarkers([] { /* CreateAppMutexes(); with the release as the stop step */ })
    , FDatabase(Database, [] { return TDatabase::Create(); })
    , FSockets([] { /* sockets and the echo entry points: InitIPUtil(); */ })
    , FOptions(Options, [] { return std::make_unique<TOptions>(); })
    , FUsageThread([] { /* UsageThread: a TModuleGlobal<TUsageThread> member in this place */ })
{
}

TModules::~TModules() = default;

} // namespace Ombrelay
