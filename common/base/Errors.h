#pragma once

#include <QString>

#include <stdexcept>
#include <string>

namespace Ombrelay
{

// Base of the program's own exceptions: a readable message in Qt's string type, kept beside
// the UTF-8 text that std::exception::what() returns.
class EOmbrelayError : public std::runtime_error
{
public:
    explicit EOmbrelayError(const QString& Message)
        : std::runtime_error(Message.toStdString())
        , FMessage(Message)
    {
    }
    const QString& Message() const noexcept { return FMessage; }

private:
    QString FMessage;
};

// A broken precondition: "Assertion failure" with the unit name and a line reference.
class EAssertionFailed : public EOmbrelayError
{
public:
    EAssertionFailed(const char* Unit, int Line)
        : EOmbrelayError(QStringLiteral("Assertion failure (%1, line %2)").arg(QLatin1String(Unit)).arg(Line))
    {
    }
};

// A refused operating-system call: "System Error.  Code: %d.\r\n%s%s" (code, the system's
// text for it, and an optional extra text such as the service's own message).
class EOSError : public EOmbrelayError
{
public:
    EOSError(int Code, const QString& Text, const QString& Extra = QString())
        : EOmbrelayError(QStringLiteral("System Error.  Code: %1.\r\n%2%3").arg(Code).arg(Text, Extra))
        , FCode(Code)
    {
    }
    int Code() const noexcept { return FCode; }

private:
    int FCode;
};

} // namespace Ombrelay

// Raises EAssertionFailed naming the unit when Cond is false.
#define OMBRELAY_ASSERT(Unit, Cond)                                                                                    \
    do {                                                                                                               \
        if (!(Cond)) {                                                                                                 \
            throw ::Ombrelay::EAssertionFailed(Unit, __LINE__);                                                        \
        }                                                                                                              \
    } while (false)
