// One outgoing ESPA message: a call-status block for the partner.
#pragma once

#include <string>

namespace tw {

class cESPACall {
  public:
    std::string m_CallAddress;
    std::string m_DisplayMessage;
    std::string m_BeepCoding;
    std::string m_SendBuffer;  // the complete block: SOH ... ETX + check character
    std::string m_CallType;
};

}  // namespace tw
