// The manager's message traffic with the devices: poll, store, clear; submit, record, confirm.

#include "base/DateTime.h"
#include "core/DB.h"
#include "core/MBInterfaceItem.h"
#include "core/MBManager.h"
#include "core/SmsReports.h"
#include "core/SmsStore.h"
#include "sms/SMS.h"

#include <QCoreApplication>

#include <exception>

namespace Ombrelay
{

namespace
{

// The concatenation reference of a rebuilt message comes from the message itself, so that the
// same message read again (a delete that failed, a program killed before its delete) rebuilds
// to the same PDUs and is known again. FNV-1a of the UTF-8 key: the same in every run and on
// every machine, which qHash (seeded per process) is not. The time stamp enters as the instant
// in whole seconds, as the PDU carries it: a stack that keeps milliseconds in memory but not
// across a restart, or writes another offset, still gives the same reference.
int RebuiltRefNo(const TMbnSmsMessage& Message)
{
    const QString stamp =
        Message.TimeStamp.isValid() ? QString::number(Message.TimeStamp.toSecsSinceEpoch()) : QString();
    QByteArray key = (Message.Number + QLatin1Char('\n') + stamp + QLatin1Char('\n') + Message.Text).toUtf8();
    if (Message.IsData) {
        key += '\n' + Message.Data;
    }
    quint32 h = 2166136261u;
    for (const char c : key) {
        h ^= quint8(c);
        h *= 16777619u;
    }
    // The PDUs carry an 8-bit reference: fold every byte of the hash into it.
    return int((h ^ (h >> 8) ^ (h >> 16) ^ (h >> 24)) & 0xFFu);
}

// A modem as the user knows it from the device view: maker and model, or its identifier when
// it gave neither or is no longer listed.
QString ModemName(const TMBInterfaceList* List, const QString& InterfaceID)
{
    const TMBInterfaceItem* item = List ? List->FindByID(InterfaceID) : nullptr;
    const QString name = item ? item->ToString().trimmed() : QString();
    return name.isEmpty() ? InterfaceID : name;
}

// Counts the requests in progress, so that a completion that comes back inside one is kept
// until the request is recorded.
struct TSendingScope
{
    explicit TSendingScope(int& Count)
        : FCount(Count)
    {
        ++FCount;
    }
    ~TSendingScope() { --FCount; }
    int& FCount;
};

} // namespace

void TMBManager::TimerTick()
{
    QStringList ids;
    for (const auto& item : *FInterfaceList) {
        ids << item->InterfaceID();
    }
    for (const QString& id : ids) {
        ReadSms(id);
    }
}

bool TMBManager::ReadOutstanding(const QString& InterfaceID)
{
    const double now = Clock::Now();
    QList<quint32> stale;
    bool outstanding = false;
    for (auto it = FSmsReadRequestQueue.cbegin(); it != FSmsReadRequestQueue.cend(); ++it) {
        if (it->InterfaceID != InterfaceID) {
            continue;
        }
        if ((now - it->Started) * kSecondsPerDay >= ReadTimeoutSeconds) {
            stale << it.key();
        } else {
            outstanding = true;
        }
    }
    // A read whose completion never came stops blocking; what it had stored has left the
    // device already, and a late batch of it is ignored (the next read brings those messages again).
    for (quint32 id : stale) {
        FinishRead(id);
    }
    return outstanding;
}

bool TMBManager::DeleteOutstanding(const QString& InterfaceID)
{
    const double now = Clock::Now();
    bool outstanding = false;
    for (auto it = FSmsDeleteRequests.begin(); it != FSmsDeleteRequests.end();) {
        if (it->InterfaceID != InterfaceID) {
            ++it;
        } else if ((now - it->Started) * kSecondsPerDay >= ReadTimeoutSeconds) {
            // A delete whose completion never came stops holding reads back.
            it = FSmsDeleteRequests.erase(it);
        } else {
            outstanding = true;
            ++it;
        }
    }
    return outstanding;
}

void TMBManager::ReadLater(const QString& InterfaceID)
{
    // From the event loop: this may run inside ReadSms's own checks.
    QMetaObject::invokeMethod(
        this,
        [this, InterfaceID] {
            try {
                ReadSms(InterfaceID);
            } catch (const std::exception& e) {
                ReportError(QString::fromUtf8(e.what()));
            }
        },
        Qt::QueuedConnection);
}

void TMBManager::ReadSms(const QString& InterfaceID)
{
    // One read per interface at a time: two overlapping reads would both store what they return.
    if (ReadOutstanding(InterfaceID)) {
        return;
    }
    // Nor while deletes are under way: a read answered before they are done lists those entries
    // again, and their second delete by index would, once the first has freed the place, remove
    // the message the device files there next. The read follows the last delete.
    if (DeleteOutstanding(InterfaceID)) {
        FReadAgain.insert(InterfaceID);
        return;
    }
    std::shared_ptr<IMbnInterface> i;
    if (MbnFailed(FPort->GetInterface(InterfaceID, i))) {
        return;
    }
    if (!IsReady(InterfaceID)) {
        // A locked SIM or a modem that is off has its store shut; the window says which, and
        // the read follows once it is unlocked or switched on.
        return;
    }
    std::shared_ptr<IMbnSms> sms;
    if (MbnFailed(i->GetSms(sms)) || !sms) {
        return;
    }
    TMbnRequestId id = 0;
    TMbnResult r = mrFailed;
    {
        TSendingScope scope(FReading);
        r = sms->Format() == TMbnSmsFormat::sfMessage ? sms->SmsReadMessages(id) : sms->SmsRead(id);
    }
    QList<std::pair<quint32, std::function<void()>>> early;
    if (FReading == 0) {
        early.swap(FEarlyReadCompletions);
    }
    if (MbnFailed(r)) {
        // Tried again at the next tick.
        return;
    }
    TReadRequest request;
    request.InterfaceID = InterfaceID;
    request.Started = Clock::Now();
    FSmsReadRequestQueue.insert(id, request);
    // A stack that answered inside the request finds the request recorded now.
    for (const auto& [requestId, replay] : early) {
        if (requestId == id) {
            replay();
        }
    }
}

void TMBManager::OnSmsReadComplete(const QString& InterfaceID, const QList<TMbnSmsPdu>& Messages, bool MoreMsgs,
                                   quint32 RequestId, qint32 Status)
{
    CompleteRead(InterfaceID, !Messages.isEmpty(), MoreMsgs, RequestId, Status, [Messages] {
        TReadBatch batch;
        batch.Pdus.reserve(Messages.size());
        for (const TMbnSmsPdu& m : Messages) {
            batch.Pdus << m.PduData;
            batch.Indexes << m.Index;
        }
        return batch;
    });
}

void TMBManager::OnSmsMessageReadComplete(const QString& InterfaceID, const QList<TMbnSmsMessage>& Messages,
                                          bool MoreMsgs, quint32 RequestId, qint32 Status)
{
    // A message whose content could not be read is neither stored nor deleted: it stays on the
    // device, and the user hears of it (the stack hands each such message out once).
    QList<TMbnSmsMessage> readable;
    QStringList unreadable;
    for (const TMbnSmsMessage& m : Messages) {
        if (m.Unreadable.isEmpty()) {
            readable << m;
        } else {
            unreadable << QStringLiteral("%1 (%2)").arg(m.Number, m.Unreadable);
        }
    }
    if (!unreadable.isEmpty() && MbnSucceeded(Status) && FSmsReadRequestQueue.contains(RequestId)) {
        ReportError(QCoreApplication::translate("SmsTransport",
                                                "Messages on the modem %1 could not be read, so they stay on the "
                                                "modem: %2")
                        .arg(ModemName(FInterfaceList.get(), InterfaceID), unreadable.join(QStringLiteral(", "))));
    }
    CompleteRead(InterfaceID, !readable.isEmpty(), MoreMsgs, RequestId, Status, [readable] {
        // A whole message is kept as the SMS-DELIVER PDUs our codec builds from it, marked
        // rebuilt: the network's own PDUs were never seen. Data keeps its 8-bit coding.
        TReadBatch batch;
        batch.Rebuilt = true;
        for (const TMbnSmsMessage& m : readable) {
            if (m.IsStatusReport) {
                // A status report the stack read is kept as the report our codec rebuilds from its
                // fields; StoreReports takes it out of the batch, its key stays to delete it.
                batch.Pdus << BuildStatusReportPdu(m.MessageRef, m.Number, m.TimeStamp, m.Discharge, m.DeliveryStatus);
                batch.Keys << m.Key;
                batch.PduKeys << m.Key;
                continue;
            }
            batch.Pdus << (m.IsData
                               ? BuildDeliverDataPdus(m.Number, m.TimeStamp, m.Data, m.MessageClass, RebuiltRefNo(m))
                               : BuildDeliverPdus(m.Number, m.TimeStamp, m.Text, RebuiltRefNo(m)));
            batch.Keys << m.Key;
            batch.PduKeys.resize(batch.Pdus.size(), m.Key);
        }
        return batch;
    });
}

void TMBManager::CompleteRead(const QString& InterfaceID, bool Delivered, bool MoreMsgs, quint32 RequestId,
                              qint32 Status, const std::function<TReadBatch()>& Build)
{
    auto it = FSmsReadRequestQueue.find(RequestId);
    if (it == FSmsReadRequestQueue.end() || it->InterfaceID != InterfaceID) {
        if (FReading > 0) {
            FEarlyReadCompletions.append(
                {RequestId, [=, this] { CompleteRead(InterfaceID, Delivered, MoreMsgs, RequestId, Status, Build); }});
        }
        // Not a read of ours (another program's, or one that timed out): nothing is stored,
        // nothing is deleted.
        return;
    }
    std::exception_ptr error;
    int added = 0;
    TMBInterfaceItem* item = FInterfaceList->FindByID(InterfaceID);
    TReadBatch batch;
    bool stored = false;
    if (MbnSucceeded(Status) && Delivered && item) {
        try {
            // Built only for a batch that is stored: rebuilding whole messages costs, and a
            // failure to rebuild is a failure to store.
            batch = Build();
            if (batch.PduKeys.isEmpty()) {
                for (quint32 index : batch.Indexes) {
                    batch.PduKeys << QString::number(index);
                }
            }
            StoreReports(InterfaceID, item, batch);
            added = item->SmsIncomingList()->StoreReceived(batch.Pdus, batch.Rebuilt, batch.PduKeys);
            stored = true;
            FStoreFailing.remove(InterfaceID);
        } catch (...) {
            // Nothing of this batch is committed, so none of it is deleted: the next read brings it again.
            error = StoreFailed(InterfaceID);
        }
    }
    if (stored && Database && !Database->IsStillAtPath()) {
        // The rows went to a file the next start does not open (deleted, moved or replaced):
        // the device keeps the messages, and the next start stores them where the database is.
        stored = false;
        if (Database->TakeMovedNotice()) {
            ReportError(QCoreApplication::translate("SmsTransport",
                                                    "The message database %1 was moved or deleted while Ombrelay "
                                                    "runs; messages stay on the modem until Ombrelay is restarted.")
                            .arg(Database->FileName()));
        }
    }
    if (stored) {
        // What is committed leaves the device now, batch by batch: a device with a long backlog
        // and a program that ends more often than a read completes still empties.
        DeleteStored(InterfaceID, batch.Indexes, batch.Keys);
    }
    try {
        for (int n = 0; n < added && FIncomingSmsNotify; ++n) {
            FIncomingSmsNotify(item);
        }
    } catch (...) {
        if (!error) {
            error = std::current_exception();
        }
    }
    if (!MoreMsgs) {
        FinishRead(RequestId);
    }
    if (error) {
        std::rethrow_exception(error);
    }
}

void TMBManager::OnSmsNewMessage(const QString& InterfaceID)
{
    if (!FReadOnNewMessage || !FInterfaceList || !FInterfaceList->FindByID(InterfaceID)) {
        return;
    }
    // Many announcements while a read is under way give one more read, not one each.
    if (ReadOutstanding(InterfaceID)) {
        FReadAgain.insert(InterfaceID);
        return;
    }
    ReadSms(InterfaceID);
}

void TMBManager::StoreReports(const QString& InterfaceID, TMBInterfaceItem* Item, TReadBatch& Batch)
{
    QStringList reports;
    QStringList pdus;
    QStringList keys;
    for (int i = 0; i < Batch.Pdus.size(); ++i) {
        // Rebuilt messages are DELIVER PDUs: a rebuilt status report is one the stack read as such.
        if (TSmsReports::IsStatusReport(Batch.Pdus[i])) {
            reports << Batch.Pdus[i];
        } else {
            pdus << Batch.Pdus[i];
            keys << Batch.PduKeys.value(i);
        }
    }
    if (reports.isEmpty()) {
        return;
    }
    // Committed before anything of the batch is deleted from the device, as the messages are; a
    // report read again is known by its PDU and not stored twice.
    const QList<TStoredReport> stored = TSmsReports::Store(InterfaceID, reports, Batch.Rebuilt);
    Batch.Pdus = pdus;
    Batch.PduKeys = keys;
    ShowReports(Item, stored);
}

void TMBManager::ShowReports(TMBInterfaceItem* Item, const QList<TStoredReport>& Reports)
{
    const QList<TStoredReport>& stored = Reports;
    bool changed = false;
    for (const TStoredReport& report : stored) {
        if (report.Outgoing != 0) {
            changed =
                Item->SmsOutgoingList()->ApplyReport(report.Outgoing, {report.Status, report.Discharge}) || changed;
        } else {
            // A report of no message sent from here is shown beside the Sent folder.
            changed = true;
        }
    }
    if (changed && FOutgoingSmsNotify) {
        FOutgoingSmsNotify(Item);
    }
}

std::exception_ptr TMBManager::StoreFailed(const QString& InterfaceID)
{
    QString reason;
    try {
        throw;
    } catch (const std::exception& e) {
        reason = QString::fromUtf8(e.what());
    } catch (...) {
        reason = QStringLiteral("Unknown error");
    }
    // A full disk fails every batch of every read: one report until a store succeeds again,
    // not a new error box every few seconds (each one nested in the last while it is open).
    if (FStoreFailing.contains(InterfaceID)) {
        return nullptr;
    }
    FStoreFailing.insert(InterfaceID);
    return std::make_exception_ptr(EMBException(
        QCoreApplication::translate("SmsTransport",
                                    "Received messages cannot be stored; they stay on the device %1 until they can "
                                    "be.\n%2")
            .arg(ModemName(FInterfaceList.get(), InterfaceID), reason)));
}

void TMBManager::FinishRead(quint32 RequestId)
{
    const auto it = FSmsReadRequestQueue.constFind(RequestId);
    if (it == FSmsReadRequestQueue.cend()) {
        return;
    }
    const QString interfaceId = it->InterfaceID;
    FSmsReadRequestQueue.erase(it);
    if (FReadAgain.remove(interfaceId)) {
        ReadLater(interfaceId);
    }
    const auto pending = FForgetAfterRead.find(interfaceId);
    if (pending != FForgetAfterRead.end()) {
        const QStringList keys = pending.value();
        FForgetAfterRead.erase(pending);
        ForgetKeys(interfaceId, keys);
    }
}

void TMBManager::ForgetKeys(const QString& InterfaceID, const QStringList& Keys)
{
    for (const TReadRequest& read : std::as_const(FSmsReadRequestQueue)) {
        if (read.InterfaceID == InterfaceID) {
            FForgetAfterRead[InterfaceID] << Keys;
            return;
        }
    }
    try {
        TSmsIncomingList::ForgetDeviceKeys(InterfaceID, Keys);
    } catch (const std::exception&) {
        // The rows keep the keys. They matter only to an entry at the same place with exactly
        // the same PDU (same sender, second and text), which the next delete there clears again.
    }
}

void TMBManager::DeleteStored(const QString& InterfaceID, const QList<quint32>& Indexes, const QStringList& Keys)
{
    if (Indexes.isEmpty() && Keys.isEmpty()) {
        return;
    }
    std::shared_ptr<IMbnInterface> i;
    std::shared_ptr<IMbnSms> sms;
    if (MbnFailed(FPort->GetInterface(InterfaceID, i)) || MbnFailed(i->GetSms(sms)) || !sms) {
        return;
    }
    // Only what was read and committed leaves the device, and only this device: messages that
    // arrived meanwhile stay for the next read. A delete that fails leaves its message there;
    // the next read finds it already stored and deletes it then.
    auto issue = [&](const QString& Key, const std::function<TMbnResult(TMbnRequestId&)>& Delete) {
        TMbnRequestId id = 0;
        TMbnResult r = mrFailed;
        {
            TSendingScope scope(FDeleting);
            r = Delete(id);
        }
        if (MbnFailed(r)) {
            DeleteDone(InterfaceID, r, Key);
        } else {
            auto early = FEarlyDeleteCompletions.find(id);
            if (early != FEarlyDeleteCompletions.end()) {
                // The stack answered inside the call.
                const qint32 status = early.value();
                FEarlyDeleteCompletions.erase(early);
                DeleteDone(InterfaceID, status, Key);
            } else {
                FSmsDeleteRequests.insert(id, TDeleteRequest{InterfaceID, Key, Clock::Now()});
            }
        }
        if (FDeleting == 0) {
            FEarlyDeleteCompletions.clear();
        }
    };
    for (quint32 index : Indexes) {
        issue(QString::number(index), [&](TMbnRequestId& Id) { return sms->SmsDeleteIndex(index, Id); });
    }
    for (const QString& key : Keys) {
        issue(key, [&](TMbnRequestId& Id) { return sms->SmsDeleteMessage(key, Id); });
    }
}

void TMBManager::OnSmsDeleteComplete(const QString& InterfaceID, quint32 RequestId, qint32 Status)
{
    const auto it = FSmsDeleteRequests.find(RequestId);
    if (it == FSmsDeleteRequests.end() || it->InterfaceID != InterfaceID) {
        if (FDeleting > 0) {
            FEarlyDeleteCompletions.insert(RequestId, Status);
        }
        // Not a delete of ours.
        return;
    }
    const QString key = it->Key;
    FSmsDeleteRequests.erase(it);
    DeleteDone(InterfaceID, Status, key);
    if (!DeleteOutstanding(InterfaceID) && !ReadOutstanding(InterfaceID) && FReadAgain.remove(InterfaceID)) {
        ReadLater(InterfaceID);
    }
}

void TMBManager::DeleteDone(const QString& InterfaceID, qint32 Status, const QString& Key)
{
    if ((Status == mrNotFound || MbnSucceeded(Status)) && FRemoveStored) {
        // The entry is gone: a later entry with its key and text is a new message.
        ForgetKeys(InterfaceID, {Key});
    }
    if (Status == mrNotFound) {
        // Gone already (another program of a shared store, a device that went away): it fills
        // nothing, and says nothing about whether deletes work.
        return;
    }
    if (MbnSucceeded(Status)) {
        FDeleteFailing.remove(InterfaceID);
        return;
    }
    // A refusal (storage locked, not permitted) repeats at every poll: one report until a delete
    // on this device succeeds again.
    if (FDeleteFailing.contains(InterfaceID)) {
        return;
    }
    FDeleteFailing.insert(InterfaceID);
    ReportError(QCoreApplication::translate("SmsTransport",
                                            "Messages stored in Ombrelay could not be removed from the modem %1: "
                                            "%2.\nThey are safe in Ombrelay; the modem's memory may fill up and "
                                            "then take no new messages. Close other programs that use the modem's "
                                            "messages; Ombrelay tries again at every poll.")
                    .arg(ModemName(FInterfaceList.get(), InterfaceID), FPort->ErrorText(Status)));
}

void TMBManager::RecordSend(quint32 RequestId, const QString& InterfaceID, const QList<qint64>& Rows, bool Rebuilt)
{
    FSmsSentRequestIdent.insert(RequestId, TSendRequest{InterfaceID, Rows, Rebuilt});
    FSmsSendRequestQueue.insert(RequestId, InterfaceID);
    // A stack that answered inside the submission finds its bookkeeping now.
    auto early = FEarlySendCompletions.find(RequestId);
    if (early != FEarlySendCompletions.end()) {
        const qint32 status = early.value();
        FEarlySendCompletions.erase(early);
        HandleSendComplete(RequestId, status);
    }
}

QList<qint64> TMBManager::RecordOutgoing(const QString& InterfaceID, const QStringList& Pdus, bool Rebuilt)
{
    try {
        return TSmsOutgoingList::StoreSubmitted(Pdus, Rebuilt, InterfaceID);
    } catch (const std::exception& e) {
        throw EMBException(QCoreApplication::translate("SmsTransport",
                                                       "The message was not sent through %1: it could not be "
                                                       "recorded in the outbox. Nothing left the device.\n%2")
                               .arg(ModemName(FInterfaceList.get(), InterfaceID), QString::fromUtf8(e.what())));
    }
}

void TMBManager::SubmitRefused(const QString& InterfaceID, const QList<qint64>& Rows, int Failed, TMbnResult Result)
{
    const QString reason = FPort->ErrorText(Result);
    QString note;
    try {
        if (Failed == 0) {
            // Nothing left the device: the record goes, and sending again sends the whole message once.
            TSmsOutgoingList::Withdraw(Rows);
        } else {
            TSmsOutgoingList::MarkFailed(Rows.mid(Failed), QStringLiteral("the modem refused a part: %1").arg(reason));
        }
    } catch (const std::exception& e) {
        note = QCoreApplication::translate("SmsTransport", "\nThe outbox could not be updated: %1")
                   .arg(QString::fromUtf8(e.what()));
    }
    if (Failed == 0) {
        throw EMBException(QCoreApplication::translate("SmsTransport", "The message was not sent through %1: %2%3")
                               .arg(ModemName(FInterfaceList.get(), InterfaceID), reason, note));
    }
    throw EMBException(QCoreApplication::translate("SmsTransport",
                                                   "The message was sent through %1 only in part: %2 of its %3 "
                                                   "parts left the device, the next was refused: %4. The parts not "
                                                   "sent are marked failed in the outbox.%5")
                           .arg(ModemName(FInterfaceList.get(), InterfaceID))
                           .arg(Failed)
                           .arg(Rows.size())
                           .arg(reason, note));
}

void TMBManager::SendSms(const QString& InterfaceID, const QString& Pdu)
{
    OMBRELAY_ASSERT("Core.Main", Pdu.size() % 2 == 0);
    const std::shared_ptr<IMbnSms> sms = GetSms(GetInterface(InterfaceID));
    if (sms->Format() == TMbnSmsFormat::sfMessage) {
        throw EMBException(QStringLiteral("%1 sends whole messages, not PDUs").arg(InterfaceID));
    }
    SubmitPdus(InterfaceID, *sms, {Pdu});
}

void TMBManager::SubmitPdus(const QString& InterfaceID, IMbnSms& Sms, const QStringList& Pdus)
{
    // Every part is recorded, as being sent, before the first one leaves: a part that left is
    // never missing from the outbox, and a failure leaves rows that say what became of each part.
    const QList<qint64> rows = RecordOutgoing(InterfaceID, Pdus, false);
    for (int part = 0; part < Pdus.size(); ++part) {
        TSendingScope scope(FSending);
        TMbnRequestId id = 0;
        const TMbnResult r = Sms.SmsSendPdu(Pdus[part], quint32(Pdus[part].size() / 2), id);
        if (MbnFailed(r)) {
            // The parts after it are not submitted: the user sends the message again or not.
            SubmitRefused(InterfaceID, rows, part, r);
        }
        RecordSend(id, InterfaceID, {rows[part]}, false);
        if (FSending == 1) {
            FEarlySendCompletions.clear();
        }
    }
}

void TMBManager::SendMessage(const QString& InterfaceID, const QString& Number, const QString& Text,
                             const QStringList& Pdus)
{
    for (const QString& pdu : Pdus) {
        OMBRELAY_ASSERT("Core.Main", pdu.size() % 2 == 0);
    }
    const std::shared_ptr<IMbnSms> sms = GetSms(GetInterface(InterfaceID));
    if (sms->Format() == TMbnSmsFormat::sfPdu) {
        if (!Pdus.isEmpty()) {
            SubmitPdus(InterfaceID, *sms, Pdus);
        }
        return;
    }
    OMBRELAY_ASSERT("Core.Main", !Pdus.isEmpty());
    // Recorded first, as in PDU mode.
    const QList<qint64> rows = RecordOutgoing(InterfaceID, Pdus, true);
    TSendingScope scope(FSending);
    TMbnRequestId id = 0;
    const TMbnResult r = sms->SmsSendMessage(Number, Text, id);
    if (MbnFailed(r)) {
        SubmitRefused(InterfaceID, rows, 0, r);
    }
    // The stack splits and sends the message itself; the outbox keeps it as our SUBMIT PDUs, marked rebuilt.
    RecordSend(id, InterfaceID, rows, true);
    if (FSending == 1) {
        FEarlySendCompletions.clear();
    }
}

void TMBManager::OnSmsSentReference(const QString& InterfaceID, quint32 RequestId, int LastReference)
{
    const auto it = FSmsSentRequestIdent.constFind(RequestId);
    if (it == FSmsSentRequestIdent.cend() || it->InterfaceID != InterfaceID || !it->Rebuilt) {
        return;
    }
    // Recorded on the rows before the send completes, so that the report finds its part.
    const QList<TStoredReport> matched = TSmsReports::RecordNetworkReferences(InterfaceID, it->RowIds, LastReference);
    if (TMBInterfaceItem* item = FInterfaceList->FindByID(InterfaceID); item && !matched.isEmpty()) {
        ShowReports(item, matched);
    }
}

void TMBManager::OnSmsSendComplete(const QString& InterfaceID, quint32 RequestId, qint32 Status)
{
    Q_UNUSED(InterfaceID);
    if (!FSmsSendRequestQueue.contains(RequestId)) {
        if (FSending > 0) {
            FEarlySendCompletions.insert(RequestId, Status);
        }
        return;
    }
    HandleSendComplete(RequestId, Status);
}

void TMBManager::HandleSendComplete(quint32 RequestId, qint32 Status)
{
    const QString interfaceId = FSmsSendRequestQueue.take(RequestId);
    const TSendRequest request = FSmsSentRequestIdent.take(RequestId);
    if (MbnFailed(Status)) {
        // The rows stay unsent and say so; the user hears of it rather than finding out later.
        QString note;
        try {
            TSmsOutgoingList::MarkFailed(request.RowIds, FPort->ErrorText(Status));
        } catch (const std::exception& e) {
            note = QCoreApplication::translate("SmsTransport", "\nThe outbox could not be updated: %1")
                       .arg(QString::fromUtf8(e.what()));
        }
        ReportError(QCoreApplication::translate("SmsTransport", "Sending a message through %1 failed: %2%3")
                        .arg(ModemName(FInterfaceList.get(), request.InterfaceID), FPort->ErrorText(Status), note));
        return;
    }
    if (request.RowIds.isEmpty()) {
        return;
    }
    // The rows are sent whether or not the interface is still listed; its outbox files them.
    TMBInterfaceItem* item = FInterfaceList->FindByID(interfaceId);
    int added = 0;
    if (item) {
        added = item->SmsOutgoingList()->ConfirmSent(request.RowIds, request.Rebuilt);
    } else {
        TSmsOutgoingList::MarkSent(request.RowIds);
    }
    for (int n = 0; n < added && FOutgoingSmsNotify; ++n) {
        FOutgoingSmsNotify(item);
    }
}

} // namespace Ombrelay
