#include "edi/trading_partner.h"

#include "edi/palette.h"

namespace pelldrake::edi {

TlynEDIRecvTradingPartner::TlynEDIRecvTradingPartner()
{
    // ISA06 and ISA08 are 15 characters wide.
    addFieldDef("ISASenderID", FieldType::String, 15);
    addFieldDef("ISAReceiverID", FieldType::String, 15);
    addFieldDef("DataSet", FieldType::String, 3);
}

namespace lynEDIRecvTradingPartner {
void Register() { registerComponent(kPalettePage, "TlynEDIRecvTradingPartner"); }
} // namespace lynEDIRecvTradingPartner

} // namespace pelldrake::edi
