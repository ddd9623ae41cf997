#pragma once

// The answers of a USSD service as a modem hands them over (+CUSD: <m>,<str>,<dcs>): plain text
// in the modem's character set, or hexadecimal text holding UCS-2 or packed GSM 7-bit octets,
// depending on the modem and on the data coding scheme the network chose (the cell broadcast
// scheme of 3GPP TS 23.038). Like the PDU codec, this reads input from strangers: every read is
// bounded by the input and a malformed answer gives an error text, never a crash.

#include <QString>
#include <QStringView>

namespace Ombrelay
{

// The alphabet a data coding scheme names.
enum class TUssdAlphabet
{
    Gsm7,       // the GSM 7-bit default alphabet
    Data8,      // 8-bit data: no text
    Ucs2,       // UCS-2, two octets a character, most significant first
    Compressed, // compressed text: not supported
};

// The alphabet of Dcs (-1: the modem gave none, which means the default alphabet), and how many
// characters of a language indication start the text (GSM 7-bit: two letters and a carriage
// return; UCS-2: two letters packed in two octets, counted here in octets).
TUssdAlphabet UssdAlphabet(int Dcs, int* LanguagePrefix = nullptr);

struct TUssdText
{
    bool Ok = false;
    QString Text;  // the answer, when Ok
    QString Error; // why it cannot be read, when not Ok
};

// Decodes Str, the string of a +CUSD answer, with Dcs its data coding scheme (-1 when the modem
// gave none). Hex says that the modem gives the string as hexadecimal octets (GSM 7-bit packed)
// rather than as characters; a UCS-2 answer is hexadecimal whatever the modem's setting, as no
// other character set holds it.
TUssdText DecodeUssd(QStringView Str, int Dcs, bool Hex);

} // namespace Ombrelay
