#pragma once

#include <QList>
#include <QString>

#include <netinet/in.h>

namespace Ombrelay
{

enum TAddrType : quint8
{
    atIPv4 = 0,
    atIPv6 = 1,
};

// One IPv4 or IPv6 address; Ver says which of the overlapping fields is valid.
struct TIPAddr
{
    TAddrType Ver = atIPv4;
    union {
        // As the socket address carries it (network byte order).
        quint32 V4Addr;
        // Network byte order; no scope is kept.
        in6_addr V6Addr;
    };

    TIPAddr() { Clear(); }
    void Clear();
    static TIPAddr Create(quint32 V4Addr);
    static TIPAddr Create(const in6_addr& V6Addr);

    // One ICMP echo to this address; true when a reply with success status came within TimeOutMs.
    // Every failure (no socket, time-out, unreachable, error reply) is false, never an error.
    bool SendEcho(quint32 TimeOutMs) const;
    // The address as text, for messages and tests.
    QString ToString() const;
};

using TIPAddrList = QList<TIPAddr>;

// The data of every echo request.
inline constexpr char EchoPayload[] = "abcdefghijklmnopqrstuvwabcdefghi";
inline constexpr int EchoPayloadSize = 32;
static_assert(sizeof(EchoPayload) == EchoPayloadSize + 1);

// Clears List and appends the addresses of Host in the given family, in the resolver's order.
// True when at least one was found; resolution failures give false and an empty list.
bool ResolveHost(const QString& Host, TAddrType AddrType, TIPAddrList& List);

// The echo routines behind SendEcho. RTT (milliseconds) is written only when a reply came.
bool EchoV4(quint32 Addr, quint32 TimeOutMs, quint32& RTT);
bool EchoV6(const in6_addr& Addr, quint32 TimeOutMs, quint32& RTT);

// Whether the address-information resolver works; probed once, then cached.
bool AddrInfoAvailable();

// Module start-up and shut-down. Sockets and echo need no library start on this system; the
// start-up runs the resolver probe so that the first check does not pay for it.
void InitIPUtil();
void DoneIPUtil();

} // namespace Ombrelay
