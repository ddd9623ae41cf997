#pragma once

#include <QString>

namespace Ombrelay
{

// One connection profile as the stack stores it, read once from its profile XML. Fields whose
// element is missing or empty stay empty (strings) or false (Booleans).
class TMBProfleItem
{
public:
    // Reads the profile. XML that does not parse raises EMBException naming the line and column.
    explicit TMBProfleItem(const QString& ProfileXml);

    const QString& Name() const { return FName; }
    bool IsDefault() const { return FIsDefault; }
    const QString& Compression() const { return FCompression; }
    const QString& AccessString() const { return FAccessString; }
    const QString& AuthProtocol() const { return FAuthProtocol; }
    const QString& Password() const { return FPassword; }
    const QString& UserName() const { return FUserName; }
    bool IgnorePassword() const { return FIgnorePassword; }
    const QString& ConnectionMode() const { return FConnectionMode; }
    const QString& HomeProviderName() const { return FHomeProviderName; }

private:
    void ReadProfileXml(const QString& ProfileXml);

    QString FName;
    bool FIsDefault = false;
    QString FCompression;
    QString FAccessString;
    QString FAuthProtocol;
    QString FPassword;
    QString FUserName;
    bool FIgnorePassword = false;
    QString FConnectionMode;
    QString FHomeProviderName;
};

} // namespace Ombrelay
