#include "platform/sim/SimStateFile.h"

#include "base/Errors.h"
#include "platform/sim/SimScenario.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace Ombrelay
{

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
    const QByteArray data = QJsonDocument(QJsonObject{{QStringLiteral("interfaces"), ifaces}}).toJson();
    auto failed = [this](int Error) {
        return EOmbrelayError(QStringLiteral("Simulated modem state %1 cannot be written (%2)")
                                  .arg(FFileName, QString::fromLocal8Bit(std::strerror(Error))));
    };
    const QByteArray path = QFile::encodeName(FFileName);
    const QByteArray temp = path + ".tmp";
    int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        throw failed(errno);
    }
    qsizetype done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int e = errno;
            ::close(fd);
            ::unlink(temp.constData());
            throw failed(e);
        }
        done += n;
    }
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (!synced || ::rename(temp.constData(), path.constData()) != 0) {
        const int e = errno;
        ::unlink(temp.constData());
        throw failed(e);
    }
    const QByteArray dir = QFile::encodeName(QFileInfo(FFileName).absolutePath());
    int dfd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

} // namespace Ombrelay
