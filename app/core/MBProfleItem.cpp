#include "core/MBProfleItem.h"

#include "sms/MBException.h"

#include <QDomDocument>
#include <QDomElement>

namespace Ombrelay
{

namespace
{

// The first child element of Parent with exactly this name (letter case counts) in Parent's
// own namespace, so a default namespace on the document needs no special handling. Only
// direct children are searched.
QDomElement Child(const QDomElement& Parent, const QString& Name)
{
    for (QDomElement e = Parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
        if (e.localName() == Name && e.namespaceURI() == Parent.namespaceURI()) {
            return e;
        }
    }
    return QDomElement();
}

// A missing element reads as empty text.
QString ReadString(const QDomElement& Parent, const QString& Name)
{
    return Child(Parent, Name).text();
}

// "true"/"false" in any letter case, or a number (0 false, any other true). A missing, empty or
// unreadable value reads as false rather than ending the whole enumeration.
bool ReadBool(const QDomElement& Parent, const QString& Name)
{
    const QString text = ReadString(Parent, Name).trimmed();
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) {
        return false;
    }
    bool ok = false;
    const double number = text.toDouble(&ok);
    return ok && number != 0;
}

} // namespace

TMBProfleItem::TMBProfleItem(const QString& ProfileXml)
{
    ReadProfileXml(ProfileXml);
}

void TMBProfleItem::ReadProfileXml(const QString& ProfileXml)
{
    QDomDocument doc;
    QString message;
    int line = 0;
    int column = 0;
    if (!doc.setContent(ProfileXml, true, &message, &line, &column)) {
        throw EMBException(
            QStringLiteral("Profile XML error: %1 (line %2, column %3)").arg(message).arg(line).arg(column));
    }
    const QDomElement root = doc.documentElement();
    if (root.isNull()) {
        return;
    }
    FName = ReadString(root, QStringLiteral("Name"));
    FIsDefault = ReadBool(root, QStringLiteral("IsDefault"));
    FConnectionMode = ReadString(root, QStringLiteral("ConnectionMode"));
    FHomeProviderName = ReadString(root, QStringLiteral("HomeProviderName"));
    const QDomElement context = Child(root, QStringLiteral("Context"));
    if (context.isNull()) {
        return;
    }
    FCompression = ReadString(context, QStringLiteral("Compression"));
    FAccessString = ReadString(context, QStringLiteral("AccessString"));
    FAuthProtocol = ReadString(context, QStringLiteral("AuthProtocol"));
    const QDomElement cred = Child(context, QStringLiteral("UserLogonCred"));
    if (cred.isNull()) {
        return;
    }
    FPassword = ReadString(cred, QStringLiteral("Password"));
    FUserName = ReadString(cred, QStringLiteral("UserName"));
    FIgnorePassword = ReadBool(cred, QStringLiteral("IgnorePassword"));
}

} // namespace Ombrelay
