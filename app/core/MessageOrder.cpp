#include "core/MessageOrder.h"

#include "sqlite/SQLiteDB.h"

#include <QStringList>

#include <iterator>

namespace Ombrelay
{

namespace
{
const QString kOrderKey = QStringLiteral("messages.order");
const char* const kColumns[] = {"stored", "time", "number", "text"};
} // namespace

QString MessageOrderText(const TSmsListBase::TOrder& Order)
{
    return QLatin1String(kColumns[Order.Column]) +
           (Order.Descending ? QStringLiteral(" desc") : QStringLiteral(" asc"));
}

TSmsListBase::TOrder MessageOrderFromText(const QString& Text)
{
    const TSmsListBase::TOrder fallback{TSmsListBase::ocNetworkTime, true};
    const QStringList words = Text.simplified().toLower().split(QLatin1Char(' '));
    if (words.size() != 2 || (words[1] != QLatin1String("asc") && words[1] != QLatin1String("desc"))) {
        return fallback;
    }
    for (int i = 0; i < int(std::size(kColumns)); ++i) {
        if (words[0] == QLatin1String(kColumns[i])) {
            return {TSmsListBase::TOrderColumn(i), words[1] == QLatin1String("desc")};
        }
    }
    return fallback;
}

TSmsListBase::TOrder LoadMessageOrder(TSQLiteDB& Db)
{
    TSQLiteLock lock(Db);
    TSQLiteQuery query(Db, QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME = :NAME"));
    Db.SetParamByNameAsString(QStringLiteral("NAME"), kOrderKey);
    return MessageOrderFromText(Db.Next() && !Db.GetFieldIsNull(0) ? Db.GetFieldAsString(0) : QString());
}

void SaveMessageOrder(TSQLiteDB& Db, const TSmsListBase::TOrder& Order)
{
    TSQLiteLock lock(Db);
    TSQLiteQuery query(Db, QStringLiteral("INSERT OR REPLACE INTO CONFIG (NAME, VALUE) VALUES (:NAME, :VALUE)"));
    Db.SetParamByNameAsString(QStringLiteral("NAME"), kOrderKey);
    Db.SetParamByNameAsString(QStringLiteral("VALUE"), MessageOrderText(Order));
    Db.Exec();
}

} // namespace Ombrelay
