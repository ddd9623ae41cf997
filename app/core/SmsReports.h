#pragma once

// Status reports of sent messages: stored in REPORTS (their PDUs kept) and matched to the
// OUTGOING part they report on; and sending a failed message again.

#include "base/DateTime.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace Ombrelay
{

class IMBManager;
class TSQLiteDB;
class TSmsOutgoingItem;
class TSmsOutgoingList;

// One stored status report.
struct TStoredReport
{
    qint64 Id = 0;
    TDateTime Date = 0.0; // when it was stored
    QString Pdu;
    qint64 Outgoing = 0; // the OUTGOING row it reports on; 0 when it matches none
    int MessageRef = -1;
    QString Recipient;
    int Status = -1;
    qint64 Discharge = 0; // TSmsRecv::kNoTimeStamp when not given
};

class TSmsReports
{
public:
    // Whether the database holds the table of reports (made with the first one).
    static bool Exists(TSQLiteDB& Db);
    // Whether a PDU text is a status report (a PDU that does not decode is not).
    static bool IsStatusReport(const QString& Pdu);
    // Stores the status reports Pdus received on Device in one transaction, each matched to the
    // most recent part sent through Device (or stored by an older program) with the same message
    // reference and recipient. A report already stored for the device with the same PDU is that
    // report read again and is not stored twice. Returns the reports stored now. Rebuilt: the
    // PDUs were rebuilt from the fields a stack showed in message mode.
    static QList<TStoredReport> Store(const QString& Device, const QStringList& Pdus, bool Rebuilt = false);
    // Records the network's references of the rows of a whole message a stack split and sent
    // itself (message mode), in part order: the last part had LastReference and each part before
    // it the one before, as the stack submitted them one after the other. Reports stored before
    // and matching none are matched again; returns those that now match one of Rows.
    static QList<TStoredReport> RecordNetworkReferences(const QString& Device, const QList<qint64>& Rows,
                                                        int LastReference);
    // The reports of Device that matched no sent part, oldest first.
    static QList<TStoredReport> Unmatched(const QString& Device);
    // Whether two numbers name the same recipient: the same digits, or the same last eight
    // digits of numbers written in national and international form.
    static bool SameRecipient(const QString& A, const QString& B);
    // Continues the message references where the parts already sent left off (the most recent
    // part the program built itself), so that a report for a part sent before a restart is not
    // taken for a new part that starts again at 0. Leaves the reference alone without such a part.
    static void ContinueReferences(TSQLiteDB& Db);
};

// Sends a failed message again through InterfaceID as a new message (new rows, asking for a
// status report when RequestReports), then marks the rows of the failed attempt as sent again.
// Raises what the send raises; then the failed attempt stays as it was.
void RetrySend(IMBManager& Manager, const QString& InterfaceID, TSmsOutgoingItem& Item, bool RequestReports);
// The same for the message Ident of List, looked up again after the send: a list that reads its
// messages page by page may drop the failed message's page when the device confirms the new one.
void RetrySend(IMBManager& Manager, const QString& InterfaceID, TSmsOutgoingList& List, qint64 Ident,
               bool RequestReports);

} // namespace Ombrelay
