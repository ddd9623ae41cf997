#include "core/Modules.h"

#include "core/Common.h"
#include "core/Usage.h"
#include "iputil/IPUtil.h"
#include "sms/SMS.h"

#include <QCoreApplication>

#include <sqlite3.h>

namespace Ombrelay
{

namespace
{

// The database of the user, refused with what to do about it when the file is damaged or not a
// database at all. Nothing has been written to it then.
std::unique_ptr<TDatabase> OpenDatabase()
{
    const QString file = TDatabase::GetLocation();
    try {
        return TDatabase::Create(file);
    } catch (const ESQLiteException& e) {
        if (e.Code() != SQLITE_CORRUPT && e.Code() != SQLITE_NOTADB) {
            throw;
        }
        throw ESQLiteException(
            //: %1 is the file, %2 SQLite's finding.
            QCoreApplication::translate("Database",
                                        "The message database %1 is damaged or not a database, so it was not opened "
                                        "(%2). Nothing was written to it. Move the file elsewhere to start with an "
                                        "empty database; the messages in it may still be recovered from it, for "
                                        "example with the .recover command of the sqlite3 program.")
                .arg(file, e.Message()),
            e.Code());
    }
}

} // namespace

// Each step is one line; a subsystem joins by filling in its own.
TModules::TModules()
    : FSmsTables([] { InitSmsTables(); })
    , FNamedMarkers([] { CreateAppMutexes(QString::fromLatin1(ProgramName)); }, [] { ReleaseAppMutexes(); })
    , FDatabase(Database, [] { return OpenDatabase(); })
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
