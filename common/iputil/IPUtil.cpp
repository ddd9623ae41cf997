#include "iputil/IPUtil.h"

#include "base/Errors.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/icmp6.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace Ombrelay
{

void TIPAddr::Clear()
{
    Ver = atIPv4;
    std::memset(&V6Addr, 0, sizeof(V6Addr));
}

TIPAddr TIPAddr::Create(quint32 Addr)
{
    TIPAddr result;
    result.Ver = atIPv4;
    result.V4Addr = Addr;
    return result;
}

TIPAddr TIPAddr::Create(const in6_addr& Addr)
{
    TIPAddr result;
    result.Ver = atIPv6;
    result.V6Addr = Addr;
    return result;
}

QString TIPAddr::ToString() const
{
    char text[INET6_ADDRSTRLEN] = {};
    if (Ver == atIPv4) {
        ::inet_ntop(AF_INET, &V4Addr, text, sizeof(text));
    } else {
        ::inet_ntop(AF_INET6, &V6Addr, text, sizeof(text));
    }
    return QString::fromLatin1(text);
}

bool TIPAddr::SendEcho(quint32 TimeOutMs) const
{
    quint32 rtt = 0;
    try {
        OMBRELAY_ASSERT("IPUtil", Ver == atIPv4 || Ver == atIPv6);
    } catch (const EAssertionFailed&) {
        return false;
    }
    return Ver == atIPv4 ? EchoV4(V4Addr, TimeOutMs, rtt) : EchoV6(V6Addr, TimeOutMs, rtt);
}

bool AddrInfoAvailable()
{
    static std::once_flag once;
    static bool available = false;
    std::call_once(once, [] {
        addrinfo* info = nullptr;
        if (::getaddrinfo("localhost", nullptr, nullptr, &info) != 0 || info == nullptr) {
            return;
        }
        available = ::getnameinfo(info->ai_addr, info->ai_addrlen, nullptr, 0, nullptr, 0, 0) == 0;
        ::freeaddrinfo(info);
    });
    return available;
}

void InitIPUtil()
{
    (void)AddrInfoAvailable();
}

void DoneIPUtil()
{
}

bool ResolveHost(const QString& Host, TAddrType AddrType, TIPAddrList& List)
{
    List.clear();
    OMBRELAY_ASSERT("IPUtil", AddrType == atIPv4 || AddrType == atIPv6);
    const QByteArray host = Host.toUtf8();
    if (host.isEmpty() || host.contains('\0')) {
        return false;
    }
    bool result = false;
    if (AddrInfoAvailable()) {
        addrinfo hints{};
        hints.ai_family = AddrType == atIPv4 ? AF_INET : AF_INET6;
        // One entry per address: without a socket type the resolver repeats each address for
        // every socket type, and each repeat would be pinged again.
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* info = nullptr;
        if (::getaddrinfo(host.constData(), nullptr, &hints, &info) != 0) {
            return false;
        }
        for (const addrinfo* p = info; p != nullptr; p = p->ai_next) {
            if (p->ai_family == AF_INET && p->ai_addr != nullptr) {
                List.append(TIPAddr::Create(reinterpret_cast<const sockaddr_in*>(p->ai_addr)->sin_addr.s_addr));
                result = true;
            } else if (p->ai_family == AF_INET6 && p->ai_addr != nullptr) {
                List.append(TIPAddr::Create(reinterpret_cast<const sockaddr_in6*>(p->ai_addr)->sin6_addr));
                result = true;
            }
        }
        ::freeaddrinfo(info);
        return result;
    }
    // Without address information only the first IPv4 address of the older resolver.
    if (AddrType != atIPv4) {
        return false;
    }
    hostent entry{};
    hostent* found = nullptr;
    std::vector<char> buffer(8192);
    int error = 0;
    if (::gethostbyname_r(host.constData(), &entry, buffer.data(), buffer.size(), &found, &error) == 0 &&
        found != nullptr && found->h_addrtype == AF_INET && found->h_addr_list != nullptr &&
        found->h_addr_list[0] != nullptr) {
        quint32 addr = 0;
        std::memcpy(&addr, found->h_addr_list[0], sizeof(addr));
        List.append(TIPAddr::Create(addr));
        result = true;
    }
    return result;
}

namespace
{

using SteadyClock = std::chrono::steady_clock;

constexpr int EchoTtl = 64;
constexpr size_t ReplyBufferSize = 4096;

std::atomic<quint16> g_sequence{0};

class TSocket
{
public:
    explicit TSocket(int Fd)
        : FFd(Fd)
    {
    }
    ~TSocket()
    {
        if (FFd >= 0) {
            ::close(FFd);
        }
    }
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;
    int Fd() const { return FFd; }

private:
    int FFd;
};

// A ping socket where the system allows one (no privileges needed), else a raw socket.
int OpenEchoSocket(int Family, bool& Raw)
{
    const int protocol = Family == AF_INET ? static_cast<int>(IPPROTO_ICMP) : static_cast<int>(IPPROTO_ICMPV6);
    int fd = ::socket(Family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, protocol);
    Raw = false;
    if (fd < 0) {
        fd = ::socket(Family, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, protocol);
        Raw = true;
    }
    return fd;
}

quint16 Checksum(const unsigned char* Data, size_t Size)
{
    quint32 sum = 0;
    for (size_t i = 0; i + 1 < Size; i += 2) {
        sum += static_cast<quint32>(Data[i] << 8 | Data[i + 1]);
    }
    if (Size % 2 != 0) {
        sum += static_cast<quint32>(Data[Size - 1] << 8);
    }
    while (sum >> 16) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<quint16>(~sum);
}

// The echo request: type, code, checksum, identifier, sequence (big-endian), then the payload.
std::vector<unsigned char> BuildRequest(unsigned char Type, quint16 Id, quint16 Seq, bool WithChecksum)
{
    std::vector<unsigned char> packet(8 + EchoPayloadSize, 0);
    packet[0] = Type;
    packet[4] = static_cast<unsigned char>(Id >> 8);
    packet[5] = static_cast<unsigned char>(Id & 0xFF);
    packet[6] = static_cast<unsigned char>(Seq >> 8);
    packet[7] = static_cast<unsigned char>(Seq & 0xFF);
    std::memcpy(packet.data() + 8, EchoPayload, EchoPayloadSize);
    if (WithChecksum) {
        const quint16 sum = Checksum(packet.data(), packet.size());
        packet[2] = static_cast<unsigned char>(sum >> 8);
        packet[3] = static_cast<unsigned char>(sum & 0xFF);
    }
    return packet;
}

quint16 Read16(const unsigned char* P)
{
    return static_cast<quint16>(P[0] << 8 | P[1]);
}

enum class TReply
{
    Other,   // not ours: keep waiting
    Success, // our echo came back
    Error,   // an error report about our request
};

struct TEchoContext
{
    int Family;
    bool Raw;
    quint16 Id;
    quint16 Seq;
    in_addr V4;
    in6_addr V6;
};

bool MatchesRequest(const TEchoContext& C, const unsigned char* Icmp, size_t Size, unsigned char RequestType)
{
    // A ping socket rewrites the identifier with its own, so only the sequence can be compared.
    return Size >= 8 && Icmp[0] == RequestType && Read16(Icmp + 6) == C.Seq && (!C.Raw || Read16(Icmp + 4) == C.Id);
}

TReply ClassifyV4(const TEchoContext& C, const unsigned char* Data, size_t Size)
{
    const unsigned char* icmp = Data;
    if (C.Raw) {
        // A raw IPv4 socket hands over the IP header too.
        if (Size < sizeof(iphdr)) {
            return TReply::Other;
        }
        const size_t ipLength = static_cast<size_t>(Data[0] & 0x0F) * 4;
        if (ipLength < sizeof(iphdr) || Size < ipLength + 8) {
            return TReply::Other;
        }
        icmp = Data + ipLength;
        Size -= ipLength;
    }
    if (Size < 8) {
        return TReply::Other;
    }
    const unsigned char type = icmp[0];
    if (type == ICMP_ECHOREPLY) {
        const bool idOk = !C.Raw || Read16(icmp + 4) == C.Id;
        return idOk && Read16(icmp + 6) == C.Seq ? TReply::Success : TReply::Other;
    }
    if (type == ICMP_DEST_UNREACH || type == ICMP_TIME_EXCEEDED || type == ICMP_PARAMETERPROB ||
        type == ICMP_SOURCE_QUENCH || type == ICMP_REDIRECT) {
        // The error quotes our IP header and the first 8 bytes of our request.
        const unsigned char* inner = icmp + 8;
        const size_t innerSize = Size - 8;
        if (innerSize < sizeof(iphdr)) {
            return TReply::Other;
        }
        const size_t innerIp = static_cast<size_t>(inner[0] & 0x0F) * 4;
        if (innerIp < sizeof(iphdr) || innerSize < innerIp + 8 || inner[9] != IPPROTO_ICMP ||
            std::memcmp(inner + 16, &C.V4, 4) != 0) {
            return TReply::Other;
        }
        if (type == ICMP_REDIRECT) {
            return TReply::Other;
        }
        return MatchesRequest(C, inner + innerIp, innerSize - innerIp, ICMP_ECHO) ? TReply::Error : TReply::Other;
    }
    return TReply::Other;
}

TReply ClassifyV6(const TEchoContext& C, const unsigned char* Icmp, size_t Size)
{
    if (Size < 8) {
        return TReply::Other;
    }
    const unsigned char type = Icmp[0];
    if (type == ICMP6_ECHO_REPLY) {
        const bool idOk = !C.Raw || Read16(Icmp + 4) == C.Id;
        return idOk && Read16(Icmp + 6) == C.Seq ? TReply::Success : TReply::Other;
    }
    if (type == ICMP6_DST_UNREACH || type == ICMP6_PACKET_TOO_BIG || type == ICMP6_TIME_EXCEEDED ||
        type == ICMP6_PARAM_PROB) {
        // The error quotes our IPv6 header (40 bytes) and the start of our request.
        const unsigned char* inner = Icmp + 8;
        const size_t innerSize = Size - 8;
        if (innerSize < 40 + 8 || inner[6] != IPPROTO_ICMPV6 || std::memcmp(inner + 24, &C.V6, 16) != 0) {
            return TReply::Other;
        }
        return MatchesRequest(C, inner + 40, innerSize - 40, ICMP6_ECHO_REQUEST) ? TReply::Error : TReply::Other;
    }
    return TReply::Other;
}

bool Echo(TEchoContext& C, quint32 TimeOutMs, quint32& RTT)
{
    const TSocket socket(OpenEchoSocket(C.Family, C.Raw));
    const int fd = socket.Fd();
    if (fd < 0) {
        return false;
    }
    const int ttl = EchoTtl;
    const int on = 1;
    if (C.Family == AF_INET) {
        if (::setsockopt(fd, IPPROTO_IP, IP_TTL, &ttl, sizeof(ttl)) != 0) {
            return false;
        }
        // Error reports (unreachable, time exceeded) reach a ping socket only through this.
        if (!C.Raw) {
            (void)::setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof(on));
        }
    } else {
        if (::setsockopt(fd, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &ttl, sizeof(ttl)) != 0) {
            return false;
        }
        if (!C.Raw) {
            (void)::setsockopt(fd, IPPROTO_IPV6, IPV6_RECVERR, &on, sizeof(on));
        }
    }

    C.Seq = g_sequence.fetch_add(1, std::memory_order_relaxed);
    C.Id = static_cast<quint16>((static_cast<quint32>(::getpid()) ^ (static_cast<quint32>(C.Seq) << 3)) & 0xFFFF);
    // The system fills in the checksum of a ping socket and of any ICMPv6 socket.
    const bool needChecksum = C.Raw && C.Family == AF_INET;
    const unsigned char requestType =
        C.Family == AF_INET ? static_cast<unsigned char>(ICMP_ECHO) : static_cast<unsigned char>(ICMP6_ECHO_REQUEST);
    const std::vector<unsigned char> request = BuildRequest(requestType, C.Id, C.Seq, needChecksum);

    sockaddr_storage target{};
    socklen_t targetSize = 0;
    if (C.Family == AF_INET) {
        auto* sin = reinterpret_cast<sockaddr_in*>(&target);
        sin->sin_family = AF_INET;
        sin->sin_addr = C.V4;
        targetSize = sizeof(sockaddr_in);
    } else {
        auto* sin6 = reinterpret_cast<sockaddr_in6*>(&target);
        sin6->sin6_family = AF_INET6;
        sin6->sin6_addr = C.V6;
        targetSize = sizeof(sockaddr_in6);
    }

    const auto start = SteadyClock::now();
    const auto deadline = start + std::chrono::milliseconds(TimeOutMs);
    if (::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&target), targetSize) !=
        static_cast<ssize_t>(request.size())) {
        return false;
    }

    std::vector<unsigned char> buffer(ReplyBufferSize, 0);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
        if (left.count() < 0) {
            return false;
        }
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (ready == 0) {
            return false;
        }
        if (pfd.revents & POLLERR) {
            // A ping socket's error queue holds an error report about our request.
            return false;
        }
        sockaddr_storage from{};
        socklen_t fromSize = sizeof(from);
        const ssize_t got =
            ::recvfrom(fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
                continue;
            }
            return false;
        }
        const size_t size = static_cast<size_t>(got);
        const TReply reply =
            C.Family == AF_INET ? ClassifyV4(C, buffer.data(), size) : ClassifyV6(C, buffer.data(), size);
        if (reply == TReply::Other) {
            continue;
        }
        RTT = static_cast<quint32>(
            std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count());
        return reply == TReply::Success;
    }
}

} // namespace

bool EchoV4(quint32 Addr, quint32 TimeOutMs, quint32& RTT)
{
    try {
        TEchoContext context{};
        context.Family = AF_INET;
        context.V4.s_addr = Addr;
        return Echo(context, TimeOutMs, RTT);
    } catch (...) {
        return false;
    }
}

bool EchoV6(const in6_addr& Addr, quint32 TimeOutMs, quint32& RTT)
{
    try {
        TEchoContext context{};
        context.Family = AF_INET6;
        context.V6 = Addr;
        return Echo(context, TimeOutMs, RTT);
    } catch (...) {
        return false;
    }
}

} // namespace Ombrelay
