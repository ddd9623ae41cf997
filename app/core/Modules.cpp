#include "Modules.h"

#include "Common.h"
#include "IPUtil.h"
#include "SMS.h"
#include "Usage.h"

namespace Ombrelay
{

// Each step is one line; a subsystem joins by filling in its own.
TModules::TModules()
    : FSmsTables([] { InitSmsTables(); })
    , FNamedMarkers([] { CreateAppMutexes(QString::fromLatin1(ProgramName)); }, [] { ReleaseAppMutexes(); })
    , FDatabase(Database, [] { return TDatabase::Create(); })
    , FSockets([] { InitIPUtil(); }, [] { DoneIPUtil(); })
    , FOptions(Options, [] { return std::make_unique<TOptions>(); })
    , FUsageThread(UsageThread, [] {
        auto Thread = std::make_unique<TUsageThread>();
        Thread->start();
        return Thread;
    })
{
}

TModules::~TModules() = default;

} // namespace Ombrelay
