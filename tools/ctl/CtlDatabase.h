#pragma once

#include "sqlite/SQLiteDB.h"

#include <memory>

namespace Ombrelay::Ctl
{

// The program's database opened for reading only: every statement that would write is refused
// by SQLite (query_only), and a missing file is reported, never created.
class TCtlDatabase : public TSQLiteDB
{
public:
    // The file at Path, or the program's own when Path is empty. Null (with the reason written to
    // stderr) when there is none or it cannot be read.
    static std::unique_ptr<TCtlDatabase> OpenReadOnly(const QString& Path);

protected:
    explicit TCtlDatabase(const QString& FileName)
        : TSQLiteDB(FileName, true)
    {
    }
    void InitializeDatabase() override;

private:
    friend class Ombrelay::TSQLiteDB;
};

} // namespace Ombrelay::Ctl
