#pragma once

#include "base/Errors.h"

namespace Ombrelay
{

// Failures of the broadband device layer and of the message store, e.g. "Interface not found: "
// or "PDU decoding error: " followed by what could not be used.
class EMBException : public EOmbrelayError
{
public:
    using EOmbrelayError::EOmbrelayError;
};

} // namespace Ombrelay
