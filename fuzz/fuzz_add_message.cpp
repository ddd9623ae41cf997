// The message store on arbitrary rows: each input line is one row (first byte: seconds after a
// fixed time, the rest: the PDU text). The rows are stored in a temporary database, loaded with
// LoadMessages, and also filed with AddMessage directly; both lists must agree, every row must
// land in exactly one message, and reading and marking the messages must not fail.

#include "core/DB.h"
#include "core/SmsStore.h"
#include "sms/MBException.h"
#include "sms/SMS.h"

#include <QByteArray>
#include <QList>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace Ombrelay;

namespace
{

QTemporaryDir* GDir;
std::unique_ptr<TDatabase> GDB;

[[noreturn]] void Broken(int Line)
{
    std::fprintf(stderr, "fuzz_add_message: invariant broken at line %d\n", Line);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    InitSmsTables();
    GDir = new QTemporaryDir();
    GDB = TDatabase::Create(GDir->path() + QStringLiteral("/Ombrelay.DB"));
    Database = GDB.get();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const TDateTime base = 46365.5;
    QList<std::pair<TDateTime, QString>> rows;
    for (const QByteArray& line : QByteArray(reinterpret_cast<const char*>(Data), qsizetype(Size)).split('\n')) {
        if (line.isEmpty() || rows.size() >= 64) {
            continue;
        }
        // The access layer reads text up to its first NUL, as stored text is read everywhere.
        QByteArray pdu = line.mid(1);
        const qsizetype nul = pdu.indexOf('\0');
        if (nul >= 0) {
            pdu.truncate(nul);
        }
        rows.append({base + static_cast<std::uint8_t>(line[0]) / kSecondsPerDay, QString::fromLatin1(pdu)});
    }

    TSQLiteDB& db = *Database;
    {
        TSQLiteLock lock(db);
        db.ExecSQL(QStringLiteral("DELETE FROM INCOMING"));
        TSQLiteTransaction transaction(db);
        {
            TSQLiteQuery q(db, QStringLiteral("INSERT INTO INCOMING (DATE, SEEN, PDU) VALUES (?, 0, ?)"));
            for (const auto& [date, pdu] : rows) {
                db.SetParamAsDateTime(1, date);
                db.SetParamAsString(2, pdu);
                db.Exec();
            }
        }
        transaction.Commit();
    }

    TSmsIncomingList loaded;
    loaded.LoadMessages();
    TSmsIncomingList added;
    int rowCount = 0;
    for (const auto& [date, pdu] : rows) {
        // Stored dates have whole seconds, as the loaded ones do.
        added.AddMessage(TSQLiteDB::DBTextToDateTime(TSQLiteDB::DateToDBText(date, true)), pdu, quint32(++rowCount));
        if (!added.ContainsPdu(pdu)) {
            Broken(__LINE__);
        }
    }
    if (loaded.Count() != added.Count()) {
        Broken(__LINE__);
    }
    int ids = 0;
    for (int i = 0; i < loaded.Count(); ++i) {
        TSmsIncomingItem* a = loaded.Items(i);
        TSmsIncomingItem* b = added.Items(i);
        if (a->Text() != b->Text() || a->Kind() != b->Kind() || a->Number() != b->Number() ||
            a->RowIDs().size() != b->RowIDs().size()) {
            Broken(__LINE__);
        }
        ids += int(a->RowIDs().size());
        (void)a->DisplayText();
    }
    if (ids != rows.size() || loaded.UnreadCount() != loaded.Count()) {
        Broken(__LINE__);
    }
    if (loaded.Count() > 0) {
        loaded.Items(0)->MarkSeen();
        loaded.Items(0)->MarkSeen();
        if (loaded.UnreadCount() != loaded.Count() - 1) {
            Broken(__LINE__);
        }
    }
    return 0;
}
