#pragma once

// A fresh application database for one test: a temporary XDG_DATA_HOME, a TDatabase opened
// there and set as the process-wide Database; all undone in the destructor.
//
//   TTempDatabase db;               // Database now points at db.DB()
//   TSQLiteLock lock(db.DB());
//   db.DB().ExecSQL(...);

#include "core/DB.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace Ombrelay
{

class TTempDatabase
{
public:
    // With Open false only the folder and XDG_DATA_HOME are prepared; call Open() later (for
    // tests that place a file there first).
    explicit TTempDatabase(bool Open = true)
        : FDir(TempBase() + QStringLiteral("/ombrelay-XXXXXX"))
        , FHadXdg(qEnvironmentVariableIsSet("XDG_DATA_HOME"))
        , FOldXdg(qgetenv("XDG_DATA_HOME"))
    {
        qputenv("XDG_DATA_HOME", FDir.path().toLocal8Bit());
        if (Open) {
            this->Open();
        }
    }

    ~TTempDatabase()
    {
        Close();
        if (FHadXdg) {
            qputenv("XDG_DATA_HOME", FOldXdg);
        } else {
            qunsetenv("XDG_DATA_HOME");
        }
    }

    TTempDatabase(const TTempDatabase&) = delete;
    TTempDatabase& operator=(const TTempDatabase&) = delete;

    // Opens (or opens again) the database and sets the Database global.
    TDatabase& Open()
    {
        Close();
        FDB = TDatabase::Create();
        Database = FDB.get();
        return *FDB;
    }

    // Closes the database (as at shut-down) and clears the Database global.
    void Close()
    {
        if (FDB && Database == FDB.get()) {
            Database = nullptr;
        }
        FDB.reset();
    }

    TDatabase& DB() { return *FDB; }
    bool IsOpen() const { return FDB != nullptr; }
    // The temporary XDG_DATA_HOME.
    QString DataHome() const { return FDir.path(); }
    // The database folder and file below it.
    QString Folder() const { return FDir.path() + QStringLiteral("/Virelle/Ombrelay"); }
    QString FilePath() const { return Folder() + QStringLiteral("/Ombrelay.DB"); }

private:
    static QString TempBase()
    {
        QString base = qEnvironmentVariable("OMBRELAY_TEST_TMP");
        if (base.isEmpty()) {
            base = QDir::tempPath();
        }
        QDir().mkpath(base);
        return base;
    }

    QTemporaryDir FDir;
    bool FHadXdg;
    QByteArray FOldXdg;
    std::unique_ptr<TDatabase> FDB;
};

} // namespace Ombrelay
