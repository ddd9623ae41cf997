#pragma once

// The order of the message lists that the user chose by a column of the list, a CONFIG row of
// its own ("messages.order": "time", "number", "text" or "stored", then " asc" or " desc").
// Without one the lists are ordered by the network's time, newest first.

#include "core/SmsStore.h"

namespace Ombrelay
{

class TSQLiteDB;

TSmsListBase::TOrder LoadMessageOrder(TSQLiteDB& Db);
void SaveMessageOrder(TSQLiteDB& Db, const TSmsListBase::TOrder& Order);
// The order as the row holds it, and back; a text that names no order gives the default.
QString MessageOrderText(const TSmsListBase::TOrder& Order);
TSmsListBase::TOrder MessageOrderFromText(const QString& Text);

} // namespace Ombrelay
