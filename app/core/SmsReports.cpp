#include "core/SmsReports.h"

#include "base/Errors.h"
#include "core/DB.h"
#include "core/MBManager.h"
#include "core/SmsStore.h"
#include "sms/MBException.h"
#include "sms/SMS.h"

namespace Ombrelay
{

namespace
{

// How far back a report looks for its part: references repeat every 256 parts, so the most
// recent part with the reference lies well within this.
constexpr int kMatchWindow = 4096;

const QString kInsertReport =
    QStringLiteral("INSERT INTO REPORTS (DATE, PDU, DEVICE, OUTGOING, STATUS, DISCHARGE, REBUILT) "
                   "VALUES (:DATE, :PDU, :DEVICE, :OUTGOING, :STATUS, :DISCHARGE, :REBUILT)");
const QString kKnownReport = QStringLiteral("SELECT ID FROM REPORTS WHERE PDU = ? AND DEVICE IS ? LIMIT 1");

QString Digits(const QString& Number)
{
    QString digits;
    for (QChar c : Number) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            digits += c;
        }
    }
    return digits;
}

// The OUTGOING row of the most recent part with this reference and recipient, 0 for none. Rows
// rebuilt from whole-message sends carry our reference, not the network's: they are matched by
// the network's reference the stack reported (NETREF), and left out without one.
qint64 FindPart(TSQLiteDB& Db, const QString& Device, int Reference, const QString& Recipient)
{
    const QString filter = Device.isEmpty() ? QString() : QStringLiteral("(DEVICE = ? OR DEVICE IS NULL) AND ");
    TSQLiteQuery query(
        Db, QStringLiteral("SELECT ID, PDU, REBUILT, NETREF FROM OUTGOING WHERE ") + filter +
                QStringLiteral("(REBUILT = 0 OR NETREF IS NOT NULL) ORDER BY ID DESC LIMIT %1").arg(kMatchWindow));
    if (!Device.isEmpty()) {
        Db.SetParamAsString(1, Device);
    }
    TSmsRecv part;
    while (Db.Next()) {
        try {
            part.DecodePdu(Db.GetFieldAsString(1));
        } catch (const EMBException&) {
            continue;
        }
        const int reference = Db.GetFieldAsInt64(2) != 0 ? int(Db.GetFieldAsInt64(3)) : part.MessageRef();
        if (reference == Reference && TSmsReports::SameRecipient(part.Sender(), Recipient)) {
            return Db.GetFieldAsInt64(0);
        }
    }
    return 0;
}

// Status reports of sent messages have a table of their own, so that no older program lists one
// as a received message. It is made with the first report: a database that never held one keeps
// the tables it had. OUTGOING is the row of the part a report is about, NULL when it matches
// none; STATUS is the report's status octet (-1 when it carries none), DISCHARGE the time of the
// outcome in seconds since 1970 UTC (NULL when not given).
void CreateTable(TSQLiteDB& Db)
{
    Db.ExecSQL(QStringLiteral("CREATE TABLE IF NOT EXISTS REPORTS (ID INTEGER NOT NULL PRIMARY KEY, DATE DATETIME NOT "
                              "NULL, PDU TEXT NOT NULL, DEVICE TEXT, OUTGOING INTEGER, STATUS INTEGER NOT NULL, "
                              "DISCHARGE INTEGER)"));
    Db.ExecSQL(QStringLiteral("CREATE INDEX IF NOT EXISTS REPORTS_OUTGOING ON REPORTS (OUTGOING)"));
    Db.ExecSQL(QStringLiteral("CREATE INDEX IF NOT EXISTS REPORTS_PDU ON REPORTS (PDU)"));
    // REBUILT: a report rebuilt from the fields a stack showed (it never handed out the network's
    // PDU), so that none is presented as the network's own; 0 for reports stored before.
    bool rebuilt = false;
    {
        TSQLiteQuery query(Db, QStringLiteral("PRAGMA table_info(REPORTS)"));
        while (Db.Next()) {
            rebuilt = rebuilt || Db.GetFieldAsString(1).compare(QLatin1String("REBUILT"), Qt::CaseInsensitive) == 0;
        }
    }
    if (!rebuilt) {
        Db.ExecSQL(QStringLiteral(
            "ALTER TABLE REPORTS ADD COLUMN REBUILT BOOLEAN NOT NULL DEFAULT 0 CHECK (REBUILT IN (0, 1))"));
    }
}

} // namespace

bool TSmsReports::Exists(TSQLiteDB& Db)
{
    TSQLiteLock lock(Db);
    TSQLiteQuery query(Db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'REPORTS'"));
    return Db.Next();
}

bool TSmsReports::IsStatusReport(const QString& Pdu)
{
    TSmsRecv r;
    try {
        r.DecodePdu(Pdu);
    } catch (const EMBException&) {
        return false;
    }
    return r.Content() == scStatusReport;
}

bool TSmsReports::SameRecipient(const QString& A, const QString& B)
{
    const QString a = Digits(A);
    const QString b = Digits(B);
    if (a.isEmpty() || b.isEmpty()) {
        return A == B;
    }
    if (a == b) {
        return true;
    }
    constexpr int kSignificant = 8;
    return a.size() >= kSignificant && b.size() >= kSignificant && a.right(kSignificant) == b.right(kSignificant);
}

void TSmsReports::ContinueReferences(TSQLiteDB& Db)
{
    TSQLiteLock lock(Db);
    // Rows rebuilt from whole-message sends carry no reference the network saw.
    TSQLiteQuery query(Db, QStringLiteral("SELECT PDU FROM OUTGOING WHERE REBUILT = 0 ORDER BY ID DESC LIMIT 16"));
    while (Db.Next()) {
        TSmsRecv part;
        try {
            part.DecodePdu(Db.GetFieldAsString(0));
        } catch (const EMBException&) {
            continue;
        }
        if (part.MessageRef() >= 0) {
            NextMessageRef = static_cast<std::uint8_t>((part.MessageRef() + 1) % 256);
            return;
        }
    }
}

QList<TStoredReport> TSmsReports::Store(const QString& Device, const QStringList& Pdus, bool Rebuilt)
{
    QList<TStoredReport> stored;
    if (Pdus.isEmpty()) {
        return stored;
    }
    OMBRELAY_ASSERT("Core.Main", Database != nullptr);
    TSQLiteDB& db = *Database;
    TSQLiteLock lock(db);
    TSQLiteTransaction transaction(db);
    CreateTable(db);
    // Decided before the first insert: the connection has one statement at a time.
    QStringList seen;
    for (const QString& pdu : Pdus) {
        if (seen.contains(pdu)) {
            continue;
        }
        seen << pdu;
        {
            TSQLiteQuery query(db, kKnownReport);
            db.SetParamAsString(1, pdu);
            if (Device.isEmpty()) {
                db.ParamSetNull(2);
            } else {
                db.SetParamAsString(2, Device);
            }
            if (db.Next()) {
                continue;
            }
        }
        TSmsRecv r;
        r.DecodePdu(pdu);
        TStoredReport report;
        report.Pdu = pdu;
        report.Date = Clock::Now();
        report.MessageRef = r.MessageRef();
        report.Recipient = r.Sender();
        report.Status = r.Status();
        report.Discharge = r.DischargeTime();
        if (report.MessageRef >= 0) {
            report.Outgoing = FindPart(db, Device, report.MessageRef, report.Recipient);
        }
        stored << report;
    }
    {
        TSQLiteQuery query(db, kInsertReport);
        for (TStoredReport& report : stored) {
            db.SetParamByNameAsDateTime(QStringLiteral("DATE"), report.Date);
            db.SetParamByNameAsString(QStringLiteral("PDU"), report.Pdu);
            if (Device.isEmpty()) {
                db.ParamSetNullByName(QStringLiteral("DEVICE"));
            } else {
                db.SetParamByNameAsString(QStringLiteral("DEVICE"), Device);
            }
            if (report.Outgoing == 0) {
                db.ParamSetNullByName(QStringLiteral("OUTGOING"));
            } else {
                db.SetParamByNameAsInt64(QStringLiteral("OUTGOING"), report.Outgoing);
            }
            db.SetParamByNameAsInt64(QStringLiteral("STATUS"), report.Status);
            db.SetParamByNameAsInt64(QStringLiteral("REBUILT"), Rebuilt ? 1 : 0);
            if (report.Discharge == TSmsRecv::kNoTimeStamp) {
                db.ParamSetNullByName(QStringLiteral("DISCHARGE"));
            } else {
                db.SetParamByNameAsInt64(QStringLiteral("DISCHARGE"), report.Discharge);
            }
            db.Exec();
            report.Id = db.GetLastInsertRowId();
        }
    }
    transaction.Commit();
    return stored;
}

QList<TStoredReport> TSmsReports::RecordNetworkReferences(const QString& Device, const QList<qint64>& Rows,
                                                          int LastReference)
{
    QList<TStoredReport> matched;
    if (Rows.isEmpty()) {
        return matched;
    }
    OMBRELAY_ASSERT("Core.Main", Database != nullptr);
    TSQLiteDB& db = *Database;
    TSQLiteLock lock(db);
    TSQLiteTransaction transaction(db);
    {
        TSQLiteQuery query(db, QStringLiteral("UPDATE OUTGOING SET NETREF = ? WHERE ID = ?"));
        const qsizetype parts = Rows.size();
        for (qsizetype k = 0; k < parts; ++k) {
            db.SetParamAsInt64(1, (LastReference - (parts - 1 - k)) & 0xFF);
            db.SetParamAsInt64(2, Rows[k]);
            db.Exec();
        }
    }
    if (Exists(db)) {
        // A report can come before the reference was known (an early part's report while later
        // parts are still being sent): unmatched reports are matched again now.
        QList<TStoredReport> open = Unmatched(Device);
        for (TStoredReport& report : open) {
            report.Outgoing = report.MessageRef >= 0 ? FindPart(db, Device, report.MessageRef, report.Recipient) : 0;
            if (report.Outgoing != 0 && Rows.contains(report.Outgoing)) {
                matched << report;
            }
        }
        TSQLiteQuery query(db, QStringLiteral("UPDATE REPORTS SET OUTGOING = ? WHERE ID = ?"));
        for (const TStoredReport& report : std::as_const(matched)) {
            db.SetParamAsInt64(1, report.Outgoing);
            db.SetParamAsInt64(2, report.Id);
            db.Exec();
        }
    }
    transaction.Commit();
    return matched;
}

QList<TStoredReport> TSmsReports::Unmatched(const QString& Device)
{
    OMBRELAY_ASSERT("Core.Main", Database != nullptr);
    TSQLiteDB& db = *Database;
    TSQLiteLock lock(db);
    QList<TStoredReport> result;
    if (!Exists(db)) {
        return result;
    }
    const QString filter = Device.isEmpty() ? QString() : QStringLiteral(" AND (DEVICE = ? OR DEVICE IS NULL)");
    TSQLiteQuery query(db, QStringLiteral("SELECT ID, DATE, PDU, STATUS, DISCHARGE FROM REPORTS WHERE OUTGOING IS "
                                          "NULL") +
                               filter + QStringLiteral(" ORDER BY ID"));
    if (!Device.isEmpty()) {
        db.SetParamAsString(1, Device);
    }
    while (db.Next()) {
        TStoredReport report;
        report.Id = db.GetFieldAsInt64(0);
        report.Date = db.GetFieldAsDateTime(1);
        report.Pdu = db.GetFieldAsString(2);
        report.Status = int(db.GetFieldAsInt64(3));
        report.Discharge = db.GetFieldIsNull(4) ? TSmsRecv::kNoTimeStamp : db.GetFieldAsInt64(4);
        TSmsRecv r;
        try {
            r.DecodePdu(report.Pdu);
            report.MessageRef = r.MessageRef();
            report.Recipient = r.Sender();
        } catch (const EMBException&) {
        }
        result << report;
    }
    return result;
}

void RetrySend(IMBManager& Manager, const QString& InterfaceID, TSmsOutgoingItem& Item, bool RequestReports)
{
    if (Item.FailedParts() == 0) {
        throw EMBException(QStringLiteral("Only a message that failed can be sent again."));
    }
    TSmsSend send;
    send.SetTarget(Item.Number());
    send.SetText(Item.Text());
    send.SetStatusReportRequest(RequestReports);
    Manager.SendMessage(InterfaceID, send.Target(), send.Text(), send.EncodePdu());
    // Only now: a send that raised leaves the failed attempt to be retried again.
    const QList<qint64> rows(Item.RowIDs().cbegin(), Item.RowIDs().cend());
    TSmsOutgoingList::MarkRetried(rows);
    Item.SetRetried(true);
}

void RetrySend(IMBManager& Manager, const QString& InterfaceID, TSmsOutgoingList& List, qint64 Ident,
               bool RequestReports)
{
    const int index = List.IndexOfIdent(Ident);
    if (index < 0) {
        throw EMBException(QStringLiteral("The message to send again is no longer stored."));
    }
    const TSmsOutgoingItem* item = List.GetItem(index);
    if (item->FailedParts() == 0) {
        throw EMBException(QStringLiteral("Only a message that failed can be sent again."));
    }
    TSmsSend send;
    send.SetTarget(item->Number());
    send.SetText(item->Text());
    send.SetStatusReportRequest(RequestReports);
    const QList<qint64> rows(item->RowIDs().cbegin(), item->RowIDs().cend());
    Manager.SendMessage(InterfaceID, send.Target(), send.Text(), send.EncodePdu());
    TSmsOutgoingList::MarkRetried(rows);
    const int now = List.IndexOfIdent(Ident);
    if (now >= 0) {
        List.GetItem(now)->SetRetried(true);
    }
}

} // namespace Ombrelay
