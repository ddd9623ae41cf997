#pragma once

#include <QList>
#include <QSet>
#include <QString>

namespace Ombrelay
{

class TContacts;
class TMBInterfaceList;

// Decides what the notifications about received messages say: one per message once it is
// complete (a long message when its last part is in, not per part), for every interface.
class TMessageNotifier
{
public:
    struct TNotice
    {
        QString InterfaceID;
        // The message a click opens.
        qint64 Ident = 0;
        QString Sender;
        QString Title;
        QString Text;
    };

    // More messages than this at once are announced by one notice that counts them.
    static constexpr int kMaxSingleNotices = 3;
    // Characters of the text a notice shows.
    static constexpr int kPreviewLength = 120;

    // The notices for what every interface's inbox filed since the last call: each message that
    // is complete, unread and not yet announced, oldest first; or one notice that counts them
    // when there are more than kMaxSingleNotices.
    QList<TNotice> Collect(const TMBInterfaceList& Interfaces);
    // The messages are gone: their identities may come back for new ones.
    void Forget(const QList<qint64>& Idents);

    // The name a notice shows for Number: the contact's name in Contacts (any form of the
    // number), else the number itself.
    static QString SenderName(const QString& Number, const TContacts* Contacts = nullptr);
    // The start of Text on one line, as plain text.
    static QString Preview(const QString& Text);

private:
    QSet<qint64> FAnnounced;
};

} // namespace Ombrelay
