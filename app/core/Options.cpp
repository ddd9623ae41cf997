#include "core/Options.h"

#include "base/Errors.h"
#include "core/DB.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <limits>

namespace Ombrelay
{

TOptions* Options = nullptr;

namespace
{
const char* const kUnit = "Core.Options";

const QString kInterfaceID = QStringLiteral("interface.id");
const QString kProfileName = QStringLiteral("profile.name");
const QString kAutoConnect = QStringLiteral("autoconnect");
const QString kTrayWarning = QStringLiteral("traywarning");
const QString kTargetPhone = QStringLiteral("targetphone");
const QString kMonitorEnabled = QStringLiteral("monitor.enabled");
const QString kMonitorInterval = QStringLiteral("monitor.interval");
const QString kMonitorRedial = QStringLiteral("monitor.threshold.redial");
const QString kMonitorReboot = QStringLiteral("monitor.threshold.reboot");
const QString kMonitorSites = QStringLiteral("monitor.sites");
const QString kRemoveStored = QStringLiteral("sms.removestored");
// Written only when off: a database whose user never turned reports off keeps the rows it had.
const QString kDeliveryReports = QStringLiteral("sms.deliveryreports");
// Written only when on, for the same reason.
const QString kNoRoamingConnect = QStringLiteral("connect.noroaming");
// "Switch modems on when found"; like the reports, written only when off.
const QString kSwitchOnModems = QStringLiteral("modem.switchon");

// Characters that force an item into quotes: controls and space, the quote, the delimiter.
bool NeedsQuotes(const QString& Item)
{
    for (QChar c : Item) {
        if (c.unicode() <= u' ' || c == u'"' || c == u',') {
            return true;
        }
    }
    return false;
}

bool IsBlank(QChar C)
{
    return C.unicode() >= 1 && C.unicode() <= u' ';
}

// CONFIG's VALUE column has numeric affinity: SQLite stores a text that reads as a number as
// that number, so a single phone number "+4912345" or "0049..." would come back as 4912345.
// Such a comma text is written as one quoted item, which reads back to the same list.
QString KeepAsText(const QString& CommaText)
{
    static const QRegularExpression numeric(QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?\\s*$"));
    if (!numeric.match(CommaText).hasMatch()) {
        return CommaText;
    }
    return QLatin1Char('"') + CommaText + QLatin1Char('"');
}
} // namespace

QString ListToCommaText(const QStringList& List)
{
    // A single empty item is written as a pair of quotes so that it survives the round trip.
    if (List.size() == 1 && List.first().isEmpty()) {
        return QStringLiteral("\"\"");
    }
    QStringList items;
    items.reserve(List.size());
    for (const QString& item : List) {
        if (NeedsQuotes(item)) {
            QString quoted = item;
            quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
            items.append(QLatin1Char('"') + quoted + QLatin1Char('"'));
        } else {
            items.append(item);
        }
    }
    return items.join(QLatin1Char(','));
}

QStringList CommaTextToList(const QString& Text)
{
    QStringList list;
    const qsizetype n = Text.size();
    qsizetype p = 0;
    auto at = [&](qsizetype i) { return i < n ? Text.at(i) : QChar(0); };
    while (p < n && IsBlank(at(p))) {
        ++p;
    }
    while (p < n && at(p) != QChar(0)) {
        QString item;
        if (at(p) == u'"') {
            // Up to the closing quote; a doubled quote stands for one. An unclosed quote runs
            // to the end of the text.
            ++p;
            while (p < n) {
                if (at(p) == u'"') {
                    if (at(p + 1) == u'"') {
                        item += QLatin1Char('"');
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += at(p);
                ++p;
            }
        } else {
            const qsizetype start = p;
            while (p < n && at(p).unicode() > u' ' && at(p) != u',') {
                ++p;
            }
            item = Text.mid(start, p - start);
        }
        list.append(item);
        while (p < n && IsBlank(at(p))) {
            ++p;
        }
        if (at(p) == u',') {
            // A comma at the very end leaves one more, empty item.
            if (p + 1 >= n) {
                list.append(QString());
            }
            do {
                ++p;
            } while (p < n && IsBlank(at(p)));
        }
    }
    return list;
}

QStringList TOptions::DefaultMonitorSites()
{
    return {QStringLiteral("https://www.wikipedia.org/"), QStringLiteral("https://www.debian.org/"),
            QStringLiteral("https://www.kernel.org/")};
}

// ---- monitor settings, shared with the monitor thread

bool TOptions::MonitorEnabled() const
{
    std::lock_guard lock(FMonitorLock);
    return FMonitorEnabled;
}

void TOptions::SetMonitorEnabled(bool Value)
{
    std::lock_guard lock(FMonitorLock);
    FMonitorEnabled = Value;
}

quint32 TOptions::MonitorInterval() const
{
    std::lock_guard lock(FMonitorLock);
    return FMonitorInterval;
}

void TOptions::SetMonitorInterval(quint32 Value)
{
    std::lock_guard lock(FMonitorLock);
    FMonitorInterval = Value;
}

quint32 TOptions::MonitorRedialThreshold() const
{
    std::lock_guard lock(FMonitorLock);
    return FMonitorRedialThreshold;
}

void TOptions::SetMonitorRedialThreshold(quint32 Value)
{
    std::lock_guard lock(FMonitorLock);
    FMonitorRedialThreshold = Value;
}

quint32 TOptions::MonitorRebootThreshold() const
{
    std::lock_guard lock(FMonitorLock);
    return FMonitorRebootThreshold;
}

void TOptions::SetMonitorRebootThreshold(quint32 Value)
{
    std::lock_guard lock(FMonitorLock);
    FMonitorRebootThreshold = Value;
}

void TOptions::SetMonitorSites(const QStringList& Value)
{
    std::lock_guard lock(FMonitorLock);
    FMonitorSites = Value;
}

TMonitorSettings TOptions::MonitorSnapshot() const
{
    std::lock_guard lock(FMonitorLock);
    TMonitorSettings s;
    s.Enabled = FMonitorEnabled;
    s.Interval = FMonitorInterval;
    s.RedialThreshold = FMonitorRedialThreshold;
    s.RebootThreshold = FMonitorRebootThreshold;
    s.Sites = FMonitorSites;
    // A deep copy: the snapshot leaves this thread's hands with no data shared with the fields.
    s.Sites.detach();
    return s;
}

void TOptions::SetMonitorSettings(const TMonitorSettings& Value)
{
    std::lock_guard lock(FMonitorLock);
    FMonitorEnabled = Value.Enabled;
    FMonitorInterval = Value.Interval;
    FMonitorRedialThreshold = Value.RedialThreshold;
    FMonitorRebootThreshold = Value.RebootThreshold;
    FMonitorSites = Value.Sites;
}

// ---- persistence

QVariant TOptions::ReadValue(const QString& Name, const QVariant& Default)
{
    TDatabase& db = *Database;
    db.SetParamAsString(1, Name);
    QVariant result = Default;
    if (db.Next() && !db.GetFieldIsNull(0)) {
        switch (Default.typeId()) {
        case QMetaType::UChar:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Int:
            result = db.GetFieldAsInt(0);
            break;
        case QMetaType::Float:
        case QMetaType::Double:
            result = db.GetFieldAsDouble(0);
            break;
        case QMetaType::Bool:
            result = db.GetFieldAsBool(0);
            break;
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            result = db.GetFieldAsInt64(0);
            break;
        case QMetaType::QString:
            result = db.GetFieldAsString(0);
            break;
        default:
            db.Reset();
            OMBRELAY_ASSERT(kUnit, false);
        }
    }
    db.Reset();
    return result;
}

void TOptions::WriteValue(const QString& Name, const QVariant& Value)
{
    TDatabase& db = *Database;
    db.SetParamAsString(1, Name);
    switch (Value.typeId()) {
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
        db.SetParamAsInt(2, Value.toInt());
        break;
    case QMetaType::Float:
    case QMetaType::Double:
        db.SetParamAsDouble(2, Value.toDouble());
        break;
    case QMetaType::Bool:
        db.SetParamAsBool(2, Value.toBool());
        break;
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        db.SetParamAsInt64(2, Value.toLongLong());
        break;
    case QMetaType::QString:
        db.SetParamAsString(2, Value.toString());
        break;
    default:
        OMBRELAY_ASSERT(kUnit, false);
    }
    db.Exec();
}

// A 32-bit unsigned setting. Read whole, so that a hand-edited value beyond the type is not cut
// down to some other number: such a value gives way to the default, and the user is told.
quint32 TOptions::ReadCount(const QString& Name, quint32 Default)
{
    const qint64 value = ReadValue(Name, qint64(Default)).toLongLong();
    if (value < 0 || value > qint64(std::numeric_limits<quint32>::max())) {
        FLoadWarnings << QCoreApplication::translate("Options", "The setting %1 holds %2, which is not a count of 0 "
                                                                "to %3; %4 is used instead.")
                             .arg(Name)
                             .arg(value)
                             .arg(std::numeric_limits<quint32>::max())
                             .arg(Default);
        return Default;
    }
    return static_cast<quint32>(value);
}

void TOptions::LoadOptions()
{
    FLoadWarnings.clear();
    OMBRELAY_ASSERT(kUnit, Database != nullptr);
    TDatabase& db = *Database;
    TSQLiteLock lock(db);
    TSQLiteTransaction transaction(db);
    {
        TSQLiteQuery query(db, QStringLiteral("SELECT VALUE FROM CONFIG WHERE NAME = ?"));
        FInterfaceID = ReadValue(kInterfaceID, QString()).toString();
        FProfileName = ReadValue(kProfileName, QString()).toString();
        FAutoConnect = ReadValue(kAutoConnect, false).toBool();
        FTrayWarning = ReadValue(kTrayWarning, true).toBool();
        FTargetPhone = ReadValue(kTargetPhone, QString()).toString();
        FRemoveStoredMessages = ReadValue(kRemoveStored, true).toBool();
        FRequestDeliveryReports = ReadValue(kDeliveryReports, true).toBool();
        FNoRoamingConnect = ReadValue(kNoRoamingConnect, false).toBool();
        FSwitchOnModems = ReadValue(kSwitchOnModems, true).toBool();
        // The monitor settings change together, so the monitor thread never sees half a load.
        TMonitorSettings monitor;
        monitor.Enabled = ReadValue(kMonitorEnabled, false).toBool();
        monitor.Interval = ReadCount(kMonitorInterval, 60);
        monitor.RedialThreshold = ReadCount(kMonitorRedial, 2);
        monitor.RebootThreshold = ReadCount(kMonitorReboot, 5);
        monitor.Sites = CommaTextToList(ReadValue(kMonitorSites, ListToCommaText(DefaultMonitorSites())).toString());
        SetMonitorSettings(monitor);
    }
    transaction.Commit();
    FLoaded = true;
}

void TOptions::SaveOptions()
{
    if (!FLoaded) {
        throw EOmbrelayError(QCoreApplication::translate("Options", "The settings have not been loaded in this run; "
                                                                    "saving them now would overwrite the stored "
                                                                    "settings, so nothing was saved."));
    }
    OMBRELAY_ASSERT(kUnit, Database != nullptr);
    const TMonitorSettings monitor = MonitorSnapshot();
    TDatabase& db = *Database;
    TSQLiteLock lock(db);
    TSQLiteTransaction transaction(db);
    {
        TSQLiteQuery query(db, QStringLiteral("INSERT OR REPLACE INTO CONFIG (NAME, VALUE) VALUES (?, ?)"));
        WriteValue(kInterfaceID, FInterfaceID);
        WriteValue(kProfileName, FProfileName);
        WriteValue(kAutoConnect, FAutoConnect);
        WriteValue(kTrayWarning, FTrayWarning);
        WriteValue(kTargetPhone, KeepAsText(FTargetPhone));
        WriteValue(kRemoveStored, FRemoveStoredMessages);
        WriteValue(kMonitorEnabled, monitor.Enabled);
        WriteValue(kMonitorInterval, monitor.Interval);
        WriteValue(kMonitorRedial, monitor.RedialThreshold);
        WriteValue(kMonitorReboot, monitor.RebootThreshold);
        WriteValue(kMonitorSites, KeepAsText(ListToCommaText(monitor.Sites)));
        if (!FRequestDeliveryReports) {
            WriteValue(kDeliveryReports, false);
        }
        if (!FSwitchOnModems) {
            WriteValue(kSwitchOnModems, false);
        }
        if (FNoRoamingConnect) {
            WriteValue(kNoRoamingConnect, true);
        }
    }
    if (!FNoRoamingConnect) {
        TSQLiteQuery query(db, QStringLiteral("DELETE FROM CONFIG WHERE NAME = ?"));
        db.SetParamAsString(1, kNoRoamingConnect);
        db.Exec();
    }
    if (FRequestDeliveryReports) {
        TSQLiteQuery query(db, QStringLiteral("DELETE FROM CONFIG WHERE NAME = ?"));
        db.SetParamAsString(1, kDeliveryReports);
        db.Exec();
    }
    if (FSwitchOnModems) {
        TSQLiteQuery query(db, QStringLiteral("DELETE FROM CONFIG WHERE NAME = ?"));
        db.SetParamAsString(1, kSwitchOnModems);
        db.Exec();
    }
    transaction.Commit();
}

} // namespace Ombrelay
