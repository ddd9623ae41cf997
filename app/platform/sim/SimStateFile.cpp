#include "platform/sim/SimStateFile.h"

#include "base/Errors.h"
#include "platform/sim/SimScenario.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace Ombrelay
{

namespace
{

// Journal lines smaller than this never make a snapshot worth writing.
constexpr qint64 kMinCompactBytes = 64 * 1024;

QString ErrorText(int Error)
{
    return QString::fromLocal8Bit(std::strerror(Error));
}

// Writes all of Data at the descriptor's position; false with errno set on failure.
bool WriteAll(int Fd, const QByteArray& Data)
{
    qsizetype done = 0;
    while (done < Data.size()) {
        const ssize_t n = ::write(Fd, Data.constData() + done, size_t(Data.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO;
            }
            return false;
        }
        done += n;
    }
    return true;
}

// Writes Data to Temp and flushes it; 0 or the errno of the failure (Temp is then removed).
int WriteFlushed(const QByteArray& Temp, const QByteArray& Data)
{
    const int fd = ::open(Temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return errno;
    }
    int e = 0;
    if (!WriteAll(fd, Data) || ::fsync(fd) != 0) {
        e = errno;
    }
    ::close(fd);
    if (e != 0) {
        ::unlink(Temp.constData());
    }
    return e;
}

QJsonObject ChangeToJson(const TSimChange& C)
{
    QJsonObject o{{QStringLiteral("if"), C.InterfaceID}};
    switch (C.Kind) {
    case TSimChange::AddPdu:
        o.insert(QStringLiteral("op"), QStringLiteral("addPdu"));
        o.insert(QStringLiteral("index"), double(C.Index));
        o.insert(QStringLiteral("pdu"), C.Pdu);
        break;
    case TSimChange::RemovePdu:
        o.insert(QStringLiteral("op"), QStringLiteral("removePdu"));
        o.insert(QStringLiteral("index"), double(C.Index));
        break;
    case TSimChange::AddMessage:
        o.insert(QStringLiteral("op"), QStringLiteral("addMessage"));
        o.insert(QStringLiteral("key"), C.Message.Key);
        o.insert(QStringLiteral("number"), C.Message.Number);
        o.insert(QStringLiteral("time"), C.Message.TimeStamp.toString(Qt::ISODate));
        o.insert(QStringLiteral("text"), C.Message.Text);
        o.insert(QStringLiteral("nextKey"), double(C.NextKey));
        break;
    case TSimChange::RemoveMessage:
        o.insert(QStringLiteral("op"), QStringLiteral("removeMessage"));
        o.insert(QStringLiteral("key"), C.Message.Key);
        break;
    case TSimChange::Clear:
        o.insert(QStringLiteral("op"), QStringLiteral("clear"));
        break;
    }
    return o;
}

// Applies one journal line to Stores; false when the line is not a change this file writes.
bool ApplyChange(const QJsonObject& O, TSimStoresById& Stores)
{
    const QString id = O.value(QStringLiteral("if")).toString();
    const QString op = O.value(QStringLiteral("op")).toString();
    if (id.isEmpty()) {
        return false;
    }
    TSimStores& stores = Stores[id];
    if (op == QLatin1String("addPdu") || op == QLatin1String("removePdu")) {
        const double index = O.value(QStringLiteral("index")).toDouble(-1);
        if (index < 0 || index > 4294967295.0) {
            return false;
        }
        if (op == QLatin1String("removePdu")) {
            stores.Pdus.erase(quint32(index));
            return true;
        }
        const QString pdu = O.value(QStringLiteral("pdu")).toString();
        if (!IsPduText(pdu)) {
            return false;
        }
        stores.Pdus[quint32(index)] = pdu;
        return true;
    }
    if (op == QLatin1String("addMessage")) {
        TMbnSmsMessage msg;
        msg.Key = O.value(QStringLiteral("key")).toString();
        msg.Number = O.value(QStringLiteral("number")).toString();
        msg.Text = O.value(QStringLiteral("text")).toString();
        msg.TimeStamp = QDateTime::fromString(O.value(QStringLiteral("time")).toString(), Qt::ISODate);
        const double nextKey = O.value(QStringLiteral("nextKey")).toDouble(-1);
        if (msg.Key.isEmpty() || msg.Number.isEmpty() || !msg.TimeStamp.isValid() ||
            !(nextKey >= 0 && nextKey <= 9007199254740992.0)) {
            return false;
        }
        stores.Messages << msg;
        stores.NextKey = quint64(nextKey);
        return true;
    }
    if (op == QLatin1String("removeMessage")) {
        const QString key = O.value(QStringLiteral("key")).toString();
        for (qsizetype i = 0; i < stores.Messages.size(); ++i) {
            if (stores.Messages[i].Key == key) {
                stores.Messages.removeAt(i);
                break;
            }
        }
        return !key.isEmpty();
    }
    if (op == QLatin1String("clear")) {
        stores.Pdus.clear();
        stores.Messages.clear();
        return true;
    }
    return false;
}

} // namespace

TSimStateFile::~TSimStateFile()
{
    CloseJournal();
}

void TSimStateFile::CloseJournal() const
{
    if (FJournalFd >= 0) {
        ::close(FJournalFd);
        FJournalFd = -1;
    }
}

bool TSimStateFile::Exists() const
{
    return QFile::exists(FFileName);
}

TSimStoresById TSimStateFile::Read() const
{
    QFile f(FFileName);
    if (!f.open(QIODevice::ReadOnly)) {
        throw EOmbrelayError(
            QStringLiteral("Simulated modem state %1 cannot be read (%2)").arg(FFileName, f.errorString()));
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &error);
    auto bad = [this](const QString& What) {
        return EOmbrelayError(QStringLiteral("Simulated modem state %1: %2").arg(FFileName, What));
    };
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        throw bad(QStringLiteral("not a state file (%1)").arg(error.errorString()));
    }
    const QJsonObject ifaces = doc.object().value(QStringLiteral("interfaces")).toObject();
    TSimStoresById r;
    for (auto it = ifaces.begin(); it != ifaces.end(); ++it) {
        const QJsonObject o = it.value().toObject();
        TSimStores& stores = r[it.key()];
        for (const QJsonValue& v : o.value(QStringLiteral("pdus")).toArray()) {
            const QJsonObject e = v.toObject();
            const QString pdu = e.value(QStringLiteral("pdu")).toString();
            const double index = e.value(QStringLiteral("index")).toDouble(-1);
            if (!IsPduText(pdu) || index < 0 || index > 4294967295.0 || stores.Pdus.count(quint32(index))) {
                throw bad(QStringLiteral("a stored PDU of %1 is damaged").arg(it.key()));
            }
            stores.Pdus[quint32(index)] = pdu;
        }
        for (const QJsonValue& v : o.value(QStringLiteral("messages")).toArray()) {
            const QJsonObject e = v.toObject();
            TMbnSmsMessage msg;
            msg.Key = e.value(QStringLiteral("key")).toString();
            msg.Number = e.value(QStringLiteral("number")).toString();
            msg.Text = e.value(QStringLiteral("text")).toString();
            msg.TimeStamp = QDateTime::fromString(e.value(QStringLiteral("time")).toString(), Qt::ISODate);
            if (msg.Key.isEmpty() || msg.Number.isEmpty() || !msg.TimeStamp.isValid()) {
                throw bad(QStringLiteral("a stored message of %1 is damaged").arg(it.key()));
            }
            stores.Messages << msg;
        }
        // Converting a negative or too large number to an integer is undefined; such a file is damaged.
        const double nextKey = o.value(QStringLiteral("nextKey")).toDouble(0);
        if (!(nextKey >= 0 && nextKey <= 9007199254740992.0)) {
            throw bad(QStringLiteral("the message counter of %1 is damaged").arg(it.key()));
        }
        stores.NextKey = quint64(nextKey);
    }

    QFile journal(JournalName());
    if (!journal.exists()) {
        return r;
    }
    if (!journal.open(QIODevice::ReadOnly)) {
        throw bad(QStringLiteral("its journal cannot be read (%1)").arg(journal.errorString()));
    }
    const QByteArray lines = journal.readAll();
    const QString generation = doc.object().value(QStringLiteral("generation")).toString();
    qsizetype at = 0;
    bool header = true;
    while (at < lines.size()) {
        const qsizetype end = lines.indexOf('\n', at);
        if (end < 0) {
            // Cut short by a crash while it was written: never answered, so never promised.
            break;
        }
        const QJsonDocument line = QJsonDocument::fromJson(lines.mid(at, end - at), &error);
        at = end + 1;
        if (error.error != QJsonParseError::NoError || !line.isObject()) {
            if (at >= lines.size()) {
                // The last line, damaged by a crash in the middle of its write: torn as well.
                break;
            }
            throw bad(QStringLiteral("its journal is damaged (%1)").arg(error.errorString()));
        }
        if (header) {
            header = false;
            if (generation.isEmpty() || line.object().value(QStringLiteral("generation")).toString() != generation) {
                // Of an older snapshot, which this one already holds.
                return r;
            }
            continue;
        }
        if (!ApplyChange(line.object(), r)) {
            throw bad(QStringLiteral("a change in its journal is damaged"));
        }
    }
    return r;
}

void TSimStateFile::Write(const TSimStoresById& Stores) const
{
    QJsonObject ifaces;
    for (const auto& [id, stores] : Stores) {
        QJsonArray pdus;
        for (const auto& [index, pdu] : stores.Pdus) {
            pdus.append(QJsonObject{{QStringLiteral("index"), double(index)}, {QStringLiteral("pdu"), pdu}});
        }
        QJsonArray messages;
        for (const TMbnSmsMessage& m : stores.Messages) {
            messages.append(QJsonObject{{QStringLiteral("key"), m.Key},
                                        {QStringLiteral("number"), m.Number},
                                        {QStringLiteral("time"), m.TimeStamp.toString(Qt::ISODate)},
                                        {QStringLiteral("text"), m.Text}});
        }
        ifaces.insert(id, QJsonObject{{QStringLiteral("pdus"), pdus},
                                      {QStringLiteral("messages"), messages},
                                      {QStringLiteral("nextKey"), double(stores.NextKey)}});
    }
    const QString generation = QString::number(QRandomGenerator::system()->generate64(), 16);
    const QByteArray data =
        QJsonDocument(QJsonObject{{QStringLiteral("generation"), generation}, {QStringLiteral("interfaces"), ifaces}})
            .toJson();
    const QByteArray header =
        QJsonDocument(QJsonObject{{QStringLiteral("generation"), generation}}).toJson(QJsonDocument::Compact) + '\n';
    auto failed = [this](int Error) {
        return EOmbrelayError(
            QStringLiteral("Simulated modem state %1 cannot be written (%2)").arg(FFileName, ErrorText(Error)));
    };
    const QByteArray path = QFile::encodeName(FFileName);
    const QByteArray temp = path + ".tmp";
    const QByteArray journal = QFile::encodeName(JournalName());
    const QByteArray journalTemp = journal + ".tmp";
    // Both files are whole on the disk before either is renamed. The snapshot goes first: until
    // the journal follows, the old journal is of another generation and ignored.
    if (const int e = WriteFlushed(journalTemp, header)) {
        throw failed(e);
    }
    if (const int e = WriteFlushed(temp, data)) {
        ::unlink(journalTemp.constData());
        throw failed(e);
    }
    if (::rename(temp.constData(), path.constData()) != 0) {
        const int e = errno;
        ::unlink(temp.constData());
        ::unlink(journalTemp.constData());
        throw failed(e);
    }
    CloseJournal();
    if (::rename(journalTemp.constData(), journal.constData()) != 0) {
        const int e = errno;
        ::unlink(journalTemp.constData());
        throw failed(e);
    }
    const QByteArray dir = QFile::encodeName(QFileInfo(FFileName).absolutePath());
    int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    FJournalFd = ::open(journal.constData(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
    FJournalBytes = header.size();
    FSnapshotBytes = data.size();
}

void TSimStateFile::Append(const QList<TSimChange>& Changes)
{
    if (Changes.isEmpty()) {
        return;
    }
    if (FJournalFd < 0) {
        throw EOmbrelayError(
            QStringLiteral("Simulated modem state %1 cannot be written (no journal open)").arg(FFileName));
    }
    QByteArray lines;
    for (const TSimChange& c : Changes) {
        lines += QJsonDocument(ChangeToJson(c)).toJson(QJsonDocument::Compact) + '\n';
    }
    if (!WriteAll(FJournalFd, lines) || ::fdatasync(FJournalFd) != 0) {
        const int e = errno;
        // A part written stays out of the state: the change is refused, and the next state is
        // written whole.
        if (::ftruncate(FJournalFd, FJournalBytes) == 0) {
            ::fdatasync(FJournalFd);
        }
        CloseJournal();
        throw EOmbrelayError(
            QStringLiteral("Simulated modem state %1 cannot be written (%2)").arg(JournalName(), ErrorText(e)));
    }
    FJournalBytes += lines.size();
}

bool TSimStateFile::CompactionDue() const
{
    return FJournalBytes > qMax(FSnapshotBytes, kMinCompactBytes);
}

} // namespace Ombrelay
