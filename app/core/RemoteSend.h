#pragma once

// A message sent for another program of the user (ombrelayctl) through the running program's
// instance socket. The request is one line, "send " and a JSON object {"number", "text",
// "device", "timeout" (seconds), "wait": "delivery"}; the answer is one JSON line {"state":
// "sent" | "sending" | "failed", "id", "device", "detail"} once the device has decided (or the
// wait ran out: "sending"), or {"error": text} when the message could not be handed to a device
// at all. With "wait": "delivery" the answer waits for the network's delivery report: "delivered"
// or "failed" (with the reason in "error"), or at the time-out the state so far and "timeout": true.

#include <QByteArray>
#include <QString>

#include <functional>

namespace Ombrelay
{

class IMBManager;

class TRemoteSend
{
public:
    using TReply = std::function<void(const QString& Answer)>;

    // The request line for the socket (without its line end).
    static QString Request(const QString& Number, const QString& Text, const QString& Device, int TimeoutSeconds = 0,
                           bool WaitDelivery = false);
    // Whether Line is a send request.
    static bool IsRequest(const QString& Line);

    // Sends the message of the request Line through Device of the request, else through
    // DefaultInterface, else through the first interface, and answers through Reply exactly
    // once: at once for a request that cannot be sent, else when every part is sent, one is
    // refused, or the request's time-out (else TimeoutMs) passed. The message asks for a delivery
    // report when the setting says so or the request waits for one. Runs on the thread of the
    // manager; needs an event loop.
    static void Handle(IMBManager* Manager, const QString& DefaultInterface, const QString& Line, TReply Reply,
                       int TimeoutMs = 60000);
};

} // namespace Ombrelay
