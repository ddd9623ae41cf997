#include "gui/MessageNotifier.h"

#include "core/Contacts.h"
#include "core/DB.h"
#include "core/MBInterfaceItem.h"
#include "core/MessageQuery.h"
#include "core/SmsStore.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace Ombrelay
{

QString TMessageNotifier::SenderName(const QString& Number, const TContacts* Contacts)
{
    if (Number.isEmpty()) {
        return QCoreApplication::translate("MessageNotifier", "unknown sender");
    }
    const QString name = Contacts ? Contacts->NameFor(Number) : QString();
    return name.isEmpty() ? Number : name;
}

QString TMessageNotifier::Preview(const QString& Text)
{
    QString line = Text.simplified();
    if (line.size() > kPreviewLength) {
        line.truncate(kPreviewLength);
        // Never leave half of a surrogate pair at the cut.
        if (line.back().isHighSurrogate()) {
            line.chop(1);
        }
        line += QChar(0x2026);
    }
    return line;
}

QList<TMessageNotifier::TNotice> TMessageNotifier::Collect(const TMBInterfaceList& Interfaces)
{
    QList<TNotice> notices;
    // Read once per call, and only when there is something to announce.
    std::optional<TContacts> contacts;
    bool contactsTried = false;
    auto names = [&]() -> const TContacts* {
        if (!contactsTried) {
            contactsTried = true;
            try {
                if (Database) {
                    contacts.emplace(*Database, TMessageQuery::HomeCountry(*Database));
                }
            } catch (const std::exception&) {
                // Without names a notice shows the number.
            }
        }
        return contacts ? &*contacts : nullptr;
    };
    for (const auto& item : Interfaces) {
        TSmsIncomingList* inbox = item->SmsIncomingList();
        int hint = 0;
        for (qint64 ident : inbox->TakeFiled()) {
            if (FAnnounced.contains(ident)) {
                continue;
            }
            // Filed messages are the newest, near the top; a part may complete an older one.
            const int index = inbox->IndexOfIdent(ident, hint);
            if (index < 0) {
                continue;
            }
            hint = index;
            TSmsIncomingItem* message = inbox->Items(index);
            // A message with parts still to come is announced when it is whole; a delivery
            // report is not a message for the user.
            if (message->Seen() || message->Incomplete() || message->Kind() == ikStatusReport) {
                continue;
            }
            FAnnounced.insert(ident);
            const QString sender = SenderName(message->Number(), names());
            notices.append(TNotice{item->InterfaceID(), ident, sender,
                                   QCoreApplication::translate("MessageNotifier", "Message from %1").arg(sender),
                                   Preview(message->DisplayText())});
        }
    }
    if (notices.size() <= kMaxSingleNotices) {
        return notices;
    }
    QStringList senders;
    for (const TNotice& notice : notices) {
        if (!senders.contains(notice.Sender)) {
            senders.append(notice.Sender);
        }
    }
    const qsizetype named = std::min<qsizetype>(senders.size(), kMaxSingleNotices);
    const QString shown = QStringList(senders.mid(0, named)).join(QStringLiteral(", "));
    const QString from = senders.size() > named ? QCoreApplication::translate("MessageNotifier", "From %1 and %n more",
                                                                              nullptr, int(senders.size() - named))
                                                      .arg(shown)
                                                : QCoreApplication::translate("MessageNotifier", "From %1").arg(shown);
    TNotice summary = notices.last();
    summary.Title = QCoreApplication::translate("MessageNotifier", "%n new message(s)", nullptr, int(notices.size()));
    summary.Text = from;
    return {summary};
}

void TMessageNotifier::Forget(const QList<qint64>& Idents)
{
    for (qint64 ident : Idents) {
        FAnnounced.remove(ident);
    }
}

} // namespace Ombrelay
