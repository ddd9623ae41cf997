#pragma once

// A bare descendant of the access layer over a file in a temporary folder, for the layer's
// own tests (the application schema is not involved).

#include "sqlite/SQLiteDB.h"

#include <QDir>
#include <QTemporaryDir>

#include <memory>

namespace Ombrelay
{

class TTestDB : public TSQLiteDB
{
public:
    static std::unique_ptr<TTestDB> Make(const QString& FileName, bool NeedLock)
    {
        return Open<TTestDB>(FileName, NeedLock);
    }

    QString ClassName() const override { return QStringLiteral("TTestDB"); }

    // Statements InitializeDatabase runs (under the lock) on the next Make.
    static inline QString InitSQL;

protected:
    TTestDB(const QString& FileName, bool NeedLock)
        : TSQLiteDB(FileName, NeedLock)
    {
    }
    void InitializeDatabase() override
    {
        if (!InitSQL.isEmpty()) {
            Lock();
            try {
                ExecSQL(InitSQL);
            } catch (...) {
                Unlock();
                throw;
            }
            Unlock();
        }
    }

private:
    friend class TSQLiteDB;
};

inline QString TestTempBase()
{
    QString base = qEnvironmentVariable("OMBRELAY_TEST_TMP");
    if (base.isEmpty()) {
        base = QDir::tempPath();
    }
    QDir().mkpath(base);
    return base + QStringLiteral("/sqlite-XXXXXX");
}

} // namespace Ombrelay
