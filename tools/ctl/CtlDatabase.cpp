#include "CtlDatabase.h"

#include "CtlCommon.h"
#include "core/DB.h"

#include <QFileInfo>

namespace Ombrelay::Ctl
{

void TCtlDatabase::InitializeDatabase()
{
    TSQLiteLock lock(*this);
    // The program may be writing: wait for its short writes rather than fail.
    ExecSQL(QStringLiteral("PRAGMA busy_timeout = 3000"));
    ExecSQL(QStringLiteral("PRAGMA query_only = ON"));
}

std::unique_ptr<TCtlDatabase> TCtlDatabase::OpenReadOnly(const QString& Path)
{
    const QString file = Path.isEmpty() ? TDatabase::GetLocation() : Path;
    if (!QFileInfo(file).isFile()) {
        Err(QStringLiteral("ombrelayctl: no database at %1\n").arg(file));
        return nullptr;
    }
    try {
        return TSQLiteDB::Open<TCtlDatabase>(file);
    } catch (const std::exception& e) {
        Err(QStringLiteral("ombrelayctl: %1\n").arg(QString::fromUtf8(e.what())));
        return nullptr;
    }
}

} // namespace Ombrelay::Ctl
