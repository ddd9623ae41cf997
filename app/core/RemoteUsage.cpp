#include "core/RemoteUsage.h"

#include "base/DateTime.h"
#include "core/DB.h"
#include "core/Usage.h"
#include "sqlite/SQLiteDB.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace Ombrelay
{

namespace
{

const QLatin1String kRequest("usage");

QJsonObject FiguresJson(const TRemoteUsageFigures& F)
{
    // JSON numbers are doubles: exact up to 2^53 bytes, far beyond a day's traffic.
    return QJsonObject{{QStringLiteral("storedDownload"), qint64(F.StoredIn)},
                       {QStringLiteral("storedUpload"), qint64(F.StoredOut)},
                       {QStringLiteral("pendingDownload"), qint64(F.PendingIn)},
                       {QStringLiteral("pendingUpload"), qint64(F.PendingOut)}};
}

bool ParseFigures(const QJsonValue& Value, TRemoteUsageFigures& F)
{
    if (!Value.isObject()) {
        return false;
    }
    const QJsonObject o = Value.toObject();
    quint64* fields[] = {&F.StoredIn, &F.StoredOut, &F.PendingIn, &F.PendingOut};
    const char* names[] = {"storedDownload", "storedUpload", "pendingDownload", "pendingUpload"};
    for (int i = 0; i < 4; ++i) {
        const QJsonValue v = o.value(QLatin1String(names[i]));
        if (!v.isDouble() || v.toDouble() < 0) {
            return false;
        }
        *fields[i] = quint64(v.toInteger());
    }
    return true;
}

} // namespace

QString TRemoteUsage::Request()
{
    return kRequest;
}

bool TRemoteUsage::IsRequest(const QString& Line)
{
    return Line == kRequest;
}

QString TRemoteUsage::Answer(TUsageThread& Thread, TSQLiteDB& Db)
{
    // The usage thread samples rarely while nothing moves: count every byte up to this moment.
    Thread.SampleNow();
    TSQLiteLock lock(Db);
    const QDate today = Clock::NowQ().date();
    auto figures = [&](const QString& Device) {
        TRemoteUsageFigures f;
        QueryUsageSum(Db, Device, today, today, f.StoredIn, f.StoredOut);
        Thread.GetPending(Device, f.PendingIn, f.PendingOut);
        return f;
    };
    QJsonObject devices;
    for (const QString& device : Thread.PendingDevices()) {
        devices.insert(device, FiguresJson(figures(device)));
    }
    const QJsonObject answer{{QStringLiteral("date"), today.toString(Qt::ISODate)},
                             {QStringLiteral("database"), Db.FileName()},
                             {QStringLiteral("total"), FiguresJson(figures(QString()))},
                             {QStringLiteral("devices"), devices}};
    return QString::fromUtf8(QJsonDocument(answer).toJson(QJsonDocument::Compact));
}

QString TRemoteUsage::HandleRequest()
{
    if (!UsageThread || !Database) {
        return QStringLiteral("error no usage counting");
    }
    try {
        return Answer(*UsageThread, *Database);
    } catch (const std::exception& e) {
        return QStringLiteral("error ") + QString::fromUtf8(e.what()).simplified();
    }
}

bool TRemoteUsage::Parse(const QString& Line, TRemoteUsage& Result)
{
    const QJsonObject o = QJsonDocument::fromJson(Line.toUtf8()).object();
    Result = TRemoteUsage();
    Result.Date = QDate::fromString(o.value(QStringLiteral("date")).toString(), Qt::ISODate);
    Result.DatabaseFile = o.value(QStringLiteral("database")).toString();
    if (!Result.Date.isValid() || !ParseFigures(o.value(QStringLiteral("total")), Result.Total)) {
        return false;
    }
    const QJsonObject devices = o.value(QStringLiteral("devices")).toObject();
    for (auto it = devices.begin(); it != devices.end(); ++it) {
        TRemoteUsageFigures f;
        if (!ParseFigures(it.value(), f)) {
            return false;
        }
        Result.Devices.insert(it.key(), f);
    }
    return true;
}

void TRemoteUsage::AddTo(QList<TUsageEntry>& Entries, TUsagePeriod Period, const QString& Device, quint64 StoredIn,
                         quint64 StoredOut) const
{
    const TRemoteUsageFigures f = Device.isEmpty() ? Total : Devices.value(Device);
    // Date's row as the program saw it plus its pending bytes, unless the reader found the row
    // already beyond that: then a write came between the two looks and stored them.
    const quint64 in = std::max(StoredIn, f.StoredIn + f.PendingIn) - StoredIn;
    const quint64 out = std::max(StoredOut, f.StoredOut + f.PendingOut) - StoredOut;
    for (TUsageEntry& e : Entries) {
        const bool holds = Period == TUsagePeriod::Month
                               ? e.Date.year() == Date.year() && e.Date.month() == Date.month()
                               : e.Date == Date;
        if (holds) {
            e.In += in;
            e.Out += out;
            return;
        }
    }
}

} // namespace Ombrelay
