#include "sms/Ussd.h"

#include "sms/SMS.h"

#include <QByteArray>

#include <algorithm>
#include <cstdint>

namespace Ombrelay
{

namespace
{

constexpr std::uint8_t kCarriageReturn = 0x0D;

// The octets of hexadecimal text; false with Error set when it is not whole octets of it.
bool HexToOctets(QStringView Str, QByteArray& Octets, QString& Error)
{
    if (Str.size() % 2 != 0) {
        Error = QStringLiteral("an odd number of hexadecimal digits (%1)").arg(Str.size());
        return false;
    }
    Octets.resize(Str.size() / 2);
    for (qsizetype i = 0; i < Str.size(); ++i) {
        const char16_t c = Str[i].unicode();
        int v = -1;
        if (c >= u'0' && c <= u'9') {
            v = c - u'0';
        } else if (c >= u'A' && c <= u'F') {
            v = c - u'A' + 10;
        } else if (c >= u'a' && c <= u'f') {
            v = c - u'a' + 10;
        }
        if (v < 0) {
            Error = QStringLiteral("the character at position %1 is not a hexadecimal digit").arg(i + 1);
            return false;
        }
        char& o = Octets[i / 2];
        o = static_cast<char>(i % 2 == 0 ? v << 4 : (static_cast<std::uint8_t>(o) | v));
    }
    return true;
}

TUssdText Fail(const QString& Why)
{
    TUssdText r;
    r.Error = Why;
    return r;
}

TUssdText Done(const QString& Text)
{
    TUssdText r;
    r.Ok = true;
    r.Text = Text;
    return r;
}

} // namespace

TUssdAlphabet UssdAlphabet(int Dcs, int* LanguagePrefix)
{
    int prefix = 0;
    TUssdAlphabet alphabet = TUssdAlphabet::Gsm7;
    if (Dcs >= 0 && Dcs <= 0xFF) {
        const int group = Dcs >> 4;
        if (Dcs == 0x10) {
            prefix = 3;
        } else if (Dcs == 0x11) {
            alphabet = TUssdAlphabet::Ucs2;
            prefix = 2;
        } else if (group >= 0x4 && group <= 0x7) {
            // General data coding: bit 5 compressed, bits 3 and 2 the alphabet.
            if ((Dcs & 0x20) != 0) {
                alphabet = TUssdAlphabet::Compressed;
            } else if ((Dcs & 0x0C) == 0x04) {
                alphabet = TUssdAlphabet::Data8;
            } else if ((Dcs & 0x0C) == 0x08) {
                alphabet = TUssdAlphabet::Ucs2;
            }
        } else if (group == 0x9) {
            // A message with a user data header: its alphabet as in the general group.
            if ((Dcs & 0x0C) == 0x04) {
                alphabet = TUssdAlphabet::Data8;
            } else if ((Dcs & 0x0C) == 0x08) {
                alphabet = TUssdAlphabet::Ucs2;
            }
        } else if (group == 0xF) {
            alphabet = (Dcs & 0x04) != 0 ? TUssdAlphabet::Data8 : TUssdAlphabet::Gsm7;
        }
        // Every other group (languages, reserved ones) is the default alphabet.
    }
    if (LanguagePrefix != nullptr) {
        *LanguagePrefix = prefix;
    }
    return alphabet;
}

TUssdText DecodeUssd(QStringView Str, int Dcs, bool Hex)
{
    InitSmsTables();
    if (Dcs > 0xFF) {
        return Fail(QStringLiteral("the data coding scheme %1 is not one octet").arg(Dcs));
    }
    int prefix = 0;
    const TUssdAlphabet alphabet = UssdAlphabet(Dcs, &prefix);
    QByteArray octets;
    QString error;
    switch (alphabet) {
    case TUssdAlphabet::Compressed:
        return Fail(
            QStringLiteral("the answer is compressed (data coding scheme %1), which is not supported").arg(Dcs));
    case TUssdAlphabet::Data8:
        return Fail(QStringLiteral("the answer is 8-bit data (data coding scheme %1), not text").arg(Dcs));
    case TUssdAlphabet::Ucs2: {
        if (!HexToOctets(Str, octets, error)) {
            return Fail(QStringLiteral("UCS-2 answer: %1").arg(error));
        }
        const qsizetype skip = std::min<qsizetype>(prefix, octets.size());
        if ((octets.size() - skip) % 2 != 0) {
            return Fail(QStringLiteral("UCS-2 answer: %1 octets are not whole characters").arg(octets.size() - skip));
        }
        QString text((octets.size() - skip) / 2, Qt::Uninitialized);
        const auto* in = reinterpret_cast<const std::uint8_t*>(octets.constData()) + skip;
        for (qsizetype i = 0; i < text.size(); ++i) {
            text[i] = QChar(static_cast<char16_t>((in[2 * i] << 8) | in[2 * i + 1]));
        }
        return Done(text);
    }
    case TUssdAlphabet::Gsm7:
        break;
    }
    QString text;
    if (!Hex) {
        text = Str.toString();
    } else {
        if (!HexToOctets(Str, octets, error)) {
            return Fail(QStringLiteral("GSM 7-bit answer: %1").arg(error));
        }
        qsizetype septets = octets.size() * 8 / 7;
        const auto* in = reinterpret_cast<const std::uint8_t*>(octets.constData());
        // Seven spare bits at the end are filled with a carriage return, which is no part of the
        // text (a text that ends with one gets a second).
        if (septets > 0 && (octets.size() * 8) % 7 == 0 && (in[octets.size() - 1] >> 1) == kCarriageReturn) {
            --septets;
        }
        text = GsmSeptetsToText(in, septets);
    }
    if (prefix > 0) {
        // The language indication ("EN" and a carriage return) is not shown.
        text.remove(0, prefix);
    }
    return Done(text);
}

} // namespace Ombrelay
