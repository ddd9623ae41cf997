#include "core/MBInterfaceItem.h"

#include "base/Errors.h"
#include "core/MBProfleItem.h"
#include "core/SmsStore.h"
#include "sms/MBException.h"

namespace Ombrelay
{

namespace
{

[[noreturn]] void RaisePlatform(IMbnInterfaceManager& Port, const char* Call, TMbnResult Code)
{
    throw EMBException(QStringLiteral("%1: %2").arg(QLatin1String(Call), Port.ErrorText(Code)));
}

const std::vector<quint32> kDataMasks = {0x1,     0x2,     0x4,     0x8,      0x20,     0x10,     0x10000,
                                         0x20000, 0x40000, 0x80000, 0x100000, 0x200000, 0x400000, 0x80000000};

const std::vector<quint32> kBandMasks = {0x1,    0x2,    0x4,     0x8,     0x10,      0x20,   0x40,
                                         0x80,   0x100,  0x200,   0x400,   0x800,     0x1000, 0x2000,
                                         0x4000, 0x8000, 0x10000, 0x20000, 0x80000000};

const QStringList kGsmBandNames = {QStringLiteral("0"),        QStringLiteral("IMT"),      QStringLiteral("PCS1900"),
                                   QStringLiteral("DCS1800"),  QStringLiteral("AWS"),      QStringLiteral("GSM850"),
                                   QStringLiteral("UMTS800"),  QStringLiteral("UMTS2600"), QStringLiteral("EGSM900"),
                                   QStringLiteral("UMTS1700"), QStringLiteral("10"),       QStringLiteral("11"),
                                   QStringLiteral("12"),       QStringLiteral("13"),       QStringLiteral("14"),
                                   QStringLiteral("15"),       QStringLiteral("16"),       QStringLiteral("17")};

const QStringList kCdmaBandNames = {QStringLiteral("800MHz Cellular"),
                                    QStringLiteral("1900MHz"),
                                    QStringLiteral("TACS"),
                                    QStringLiteral("JTACS"),
                                    QStringLiteral("Korean PCS"),
                                    QStringLiteral("450 MHz"),
                                    QStringLiteral("2 GHz"),
                                    QStringLiteral("700 MHz"),
                                    QStringLiteral("1800 MHz"),
                                    QStringLiteral("900 MHz"),
                                    QStringLiteral("Secondary 800 MHz"),
                                    QStringLiteral("400 MHz EU PAMR"),
                                    QStringLiteral("800 MHz PAMR"),
                                    QStringLiteral("2.5 GHz IMT200"),
                                    QStringLiteral("US PCS 1.9 GHz"),
                                    QStringLiteral("AWS"),
                                    QStringLiteral("US 2.5 GHz"),
                                    QStringLiteral("US 2.5 GHz Forward Only")};

} // namespace

TMBInterfaceItem::TMBInterfaceItem(IMbnInterfaceManager& Port, const std::shared_ptr<IMbnInterface>& MbnInterface)
    : FMbnInterface(MbnInterface)
{
    OMBRELAY_ASSERT("Core.Main", MbnInterface != nullptr);
    FInterfaceID = MbnInterface->InterfaceID();
    // Each modem's own messages, and those stored before rows recorded their modem.
    FSmsIncomingList = std::make_unique<TSmsIncomingList>(FInterfaceID);
    FSmsIncomingList->LoadMessages();
    FSmsOutgoingList = std::make_unique<TSmsOutgoingList>(FInterfaceID);
    FSmsOutgoingList->LoadMessages();
    FBackend = MbnInterface->Backend();
    TMbnInterfaceCaps caps;
    if (TMbnResult r = MbnInterface->GetInterfaceCapability(caps); MbnFailed(r)) {
        RaisePlatform(Port, "GetInterfaceCapability", r);
    }
    FCellularClass = caps.cellularClass;
    FVoiceClass = caps.voiceClass;
    FDataClass = caps.dataClass;
    FCustomDataClass = caps.customDataClass;
    FGsmBandClass = caps.gsmBandClass;
    FCdmaBandClass = caps.cdmaBandClass;
    FCustomBandClass = caps.customBandClass;
    FSmsCaps = caps.smsCaps;
    FControlCaps = caps.controlCaps;
    FDeviceID = caps.deviceID;
    FManufacturer = caps.manufacturer;
    FModel = caps.model;
    FFirmwareInfo = caps.firmwareInfo;
    std::shared_ptr<IMbnSms> sms;
    if (MbnSucceeded(MbnInterface->GetSms(sms)) && sms) {
        FSmsFormat = sms->Format();
    } else if ((FSmsCaps & (mscPduReceive | mscPduSend)) == 0 && (FSmsCaps & (mscTextReceive | mscTextSend)) != 0) {
        FSmsFormat = TMbnSmsFormat::sfMessage;
    }
    ReadProfiles(Port);
}

TMBInterfaceItem::~TMBInterfaceItem() = default;

void TMBInterfaceItem::ReadProfiles(IMbnInterfaceManager& Port)
{
    if (TMbnResult r = Port.CreateProfileManager(FProfileManager); MbnFailed(r)) {
        RaisePlatform(Port, "CreateProfileManager", r);
    }
    QStringList xml;
    if (MbnFailed(FProfileManager->GetConnectionProfiles(FInterfaceID, xml))) {
        // An interface whose profiles cannot be listed is shown with none.
        return;
    }
    for (qsizetype i = 0; i < xml.size(); ++i) {
        try {
            FProfileList.push_back(std::make_unique<TMBProfleItem>(xml[i]));
        } catch (const EMBException& e) {
            // One broken profile must not hide the others, nor the interface.
            FProfileErrors << QStringLiteral("Profile %1 of %2 was skipped: %3")
                                  .arg(i + 1)
                                  .arg(ToString().trimmed().isEmpty() ? FInterfaceID : ToString().trimmed(),
                                       e.Message());
        }
    }
}

TMBProfleList TMBInterfaceItem::ReloadProfiles(IMbnInterfaceManager& Port)
{
    TMBProfleList old = std::move(FProfileList);
    FProfileList.clear();
    const QStringList oldErrors = FProfileErrors;
    FProfileErrors.clear();
    try {
        ReadProfiles(Port);
    } catch (...) {
        FProfileList = std::move(old);
        FProfileErrors = oldErrors;
        throw;
    }
    return old;
}

bool TMBInterfaceItem::CanSendAndReceiveSms() const
{
    if (IsMessageMode()) {
        return (FSmsCaps & mscTextReceive) && (FSmsCaps & mscTextSend);
    }
    return CanRecvPduSms() && CanSendPduSms();
}

QString TMBInterfaceItem::ToString() const
{
    return FManufacturer + QLatin1Char(' ') + FModel;
}

QString TMBInterfaceItem::BitsToText(quint32 Flags, const std::vector<quint32>& Masks, const QStringList& Names)
{
    OMBRELAY_ASSERT("Core.Main", Masks.size() == size_t(Names.size()));
    QString result;
    for (size_t i = 0; i < Masks.size(); ++i) {
        if (Flags & Masks[i]) {
            result += Names[qsizetype(i)] + QStringLiteral(", ");
        }
    }
    if (result.endsWith(QStringLiteral(", "))) {
        result.chop(2);
    }
    return result;
}

QString TMBInterfaceItem::GetCellularClass() const
{
    switch (FCellularClass) {
    case 1:
        return QStringLiteral("GSM");
    case 2:
        return QStringLiteral("CDMA");
    default:
        return QString();
    }
}

QString TMBInterfaceItem::GetVoiceClass() const
{
    switch (FVoiceClass) {
    case 1:
        return QStringLiteral("No voice calls support");
    case 2:
        return QStringLiteral("Voice and data not simultaneously");
    case 3:
        return QStringLiteral("Simultaneous voice and data");
    default:
        return QString();
    }
}

QString TMBInterfaceItem::GetDataClass() const
{
    const QStringList names = {QStringLiteral("GPRS"),     QStringLiteral("EDGE"),    QStringLiteral("UMTS"),
                               QStringLiteral("HSDPA"),    QStringLiteral("LTE"),     QStringLiteral("HSUPA"),
                               QStringLiteral("1xRTT"),    QStringLiteral("IxEV-DO"), QStringLiteral("IxEV-DO RevA"),
                               QStringLiteral("1xXEV-DV"), QStringLiteral("3xRTT"),   QStringLiteral("IxEV-DO RevB"),
                               QStringLiteral("UMB"),      FCustomDataClass};
    return BitsToText(FDataClass, kDataMasks, names);
}

QString TMBInterfaceItem::GetBandClass() const
{
    if (FCellularClass == 1) {
        return BitsToText(FGsmBandClass, kBandMasks, kGsmBandNames + QStringList{FCustomBandClass});
    }
    if (FCellularClass == 2) {
        return BitsToText(FCdmaBandClass, kBandMasks, kCdmaBandNames + QStringList{FCustomBandClass});
    }
    return QString();
}

QString TMBInterfaceItem::GetSmsCaps() const
{
    static const QStringList names = {QStringLiteral("Receive PDU SMS"), QStringLiteral("Send PDU SMS"),
                                      QStringLiteral("Receive text SMS"), QStringLiteral("Send text SMS")};
    return BitsToText(FSmsCaps, {0x1, 0x2, 0x4, 0x8}, names);
}

QString TMBInterfaceItem::GetCtlCaps() const
{
    static const QStringList names = {QStringLiteral("Manual selection allowed"),
                                      QStringLiteral("Hardware radio switch"),
                                      QStringLiteral("Mobile IP support"),
                                      QStringLiteral(" Simple IP support"),
                                      QStringLiteral("Do not show IMSI"),
                                      QStringLiteral("Multi-carrier"),
                                      QStringLiteral("USSD"),
                                      QStringLiteral("Multiple cellular classes")};
    return BitsToText(FControlCaps, {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80}, names);
}

TMBInterfaceItem* TMBInterfaceList::FindByID(const QString& InterfaceID) const
{
    for (const auto& item : FItems) {
        if (item->InterfaceID() == InterfaceID) {
            return item.get();
        }
    }
    return nullptr;
}

std::unique_ptr<TMBInterfaceItem> TMBInterfaceList::Take(const QString& InterfaceID)
{
    for (auto it = FItems.begin(); it != FItems.end(); ++it) {
        if ((*it)->InterfaceID() == InterfaceID) {
            std::unique_ptr<TMBInterfaceItem> item = std::move(*it);
            FItems.erase(it);
            return item;
        }
    }
    return nullptr;
}

TMBInterfaceItem* TMBInterfaceList::GetByID(const QString& InterfaceID) const
{
    if (TMBInterfaceItem* item = FindByID(InterfaceID)) {
        return item;
    }
    throw EMBException(QStringLiteral("Interface not found: ") + InterfaceID);
}

} // namespace Ombrelay
