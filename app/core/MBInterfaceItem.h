#pragma once

#include "platform/MbnPort.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace Ombrelay
{

class TMBProfleItem;
class TSmsIncomingList;
class TSmsOutgoingList;

using TMBProfleList = std::vector<std::unique_ptr<TMBProfleItem>>;

// One modem as the stack sees it: a snapshot of its identifier, capabilities and profiles taken
// when the manager enumerates the interfaces, plus its inbox and outbox.
class TMBInterfaceItem
{
public:
    // Reads the interface. A failing identifier or capability read raises EMBException; a profile
    // whose XML does not parse is left out and named in ProfileErrors.
    TMBInterfaceItem(IMbnInterfaceManager& Port, const std::shared_ptr<IMbnInterface>& MbnInterface);
    ~TMBInterfaceItem();
    TMBInterfaceItem(const TMBInterfaceItem&) = delete;
    TMBInterfaceItem& operator=(const TMBInterfaceItem&) = delete;

    const QString& InterfaceID() const { return FInterfaceID; }
    QString CellularClass() const { return GetCellularClass(); }
    QString VoiceClass() const { return GetVoiceClass(); }
    QString DataClass() const { return GetDataClass(); }
    QString BandClass() const { return GetBandClass(); }
    QString SmsCaps() const { return GetSmsCaps(); }
    QString CtlCaps() const { return GetCtlCaps(); }
    const QString& Model() const { return FModel; }
    const QString& DeviceID() const { return FDeviceID; }
    const QString& Manufacturer() const { return FManufacturer; }
    const QString& FirmwareInfo() const { return FFirmwareInfo; }
    const TMBProfleList& ProfileList() const { return FProfileList; }
    TSmsIncomingList* SmsIncomingList() const { return FSmsIncomingList.get(); }
    TSmsOutgoingList* SmsOutgoingList() const { return FSmsOutgoingList.get(); }

    bool CanRecvPduSms() const { return (FSmsCaps & mscPduReceive) != 0; }
    bool CanSendPduSms() const { return (FSmsCaps & mscPduSend) != 0; }
    // Whole messages in and out instead of PDUs.
    bool IsMessageMode() const { return FSmsFormat == TMbnSmsFormat::sfMessage; }
    // Can send and receive in the interface's own mode; the new-message action follows this.
    bool CanSendAndReceiveSms() const;
    // Manufacturer, one space, model.
    QString ToString() const;
    // The backend the interface comes from ("sim" for the simulated modem).
    const QString& Backend() const { return FBackend; }
    // Profiles that could not be read, one readable line each.
    const QStringList& ProfileErrors() const { return FProfileErrors; }
    const std::shared_ptr<IMbnInterface>& MbnInterface() const { return FMbnInterface; }
    // Reads the profiles anew (the stack's list changed) and hands back the old ones, which the
    // caller keeps alive until nobody points at them. When the read raises, nothing changes.
    TMBProfleList ReloadProfiles(IMbnInterfaceManager& Port);

    // The names of the flag word's set bits that Names lists, in table order, joined by ", ".
    static QString BitsToText(quint32 Flags, const std::vector<quint32>& Masks, const QStringList& Names);

private:
    QString GetCellularClass() const;
    QString GetVoiceClass() const;
    QString GetDataClass() const;
    QString GetBandClass() const;
    QString GetSmsCaps() const;
    QString GetCtlCaps() const;
    void ReadProfiles(IMbnInterfaceManager& Port);

    QString FInterfaceID;
    quint32 FCellularClass = 0;
    quint32 FVoiceClass = 0;
    quint32 FDataClass = 0;
    QString FCustomDataClass;
    quint32 FGsmBandClass = 0;
    quint32 FCdmaBandClass = 0;
    QString FCustomBandClass;
    quint32 FSmsCaps = 0;
    quint32 FControlCaps = 0;
    QString FModel;
    QString FDeviceID;
    QString FManufacturer;
    QString FFirmwareInfo;
    TMBProfleList FProfileList;
    std::shared_ptr<IMbnConnectionProfileManager> FProfileManager;
    std::unique_ptr<TSmsIncomingList> FSmsIncomingList;
    std::unique_ptr<TSmsOutgoingList> FSmsOutgoingList;
    TMbnSmsFormat FSmsFormat = TMbnSmsFormat::sfPdu;
    QString FBackend;
    QStringList FProfileErrors;
    std::shared_ptr<IMbnInterface> FMbnInterface;
};

// The manager's owning list of interface items, in the stack's order.
class TMBInterfaceList
{
public:
    int Count() const { return int(FItems.size()); }
    TMBInterfaceItem* Items(int Index) const { return FItems.at(size_t(Index)).get(); }
    TMBInterfaceItem* operator[](int Index) const { return Items(Index); }
    void Add(std::unique_ptr<TMBInterfaceItem> Item) { FItems.push_back(std::move(Item)); }
    void Clear() { FItems.clear(); }
    // Takes the first item of that identifier out of the list; nullptr when not listed.
    std::unique_ptr<TMBInterfaceItem> Take(const QString& InterfaceID);
    // The first item whose identifier equals InterfaceID exactly (letter case counts); raises
    // EMBException "Interface not found: " + InterfaceID when there is none.
    TMBInterfaceItem* GetByID(const QString& InterfaceID) const;
    // The same without raising: nullptr when not listed.
    TMBInterfaceItem* FindByID(const QString& InterfaceID) const;

    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    std::vector<std::unique_ptr<TMBInterfaceItem>> FItems;
};

} // namespace Ombrelay
