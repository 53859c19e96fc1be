#include "edi/widgets/edifact_to_xml.h"

namespace pelldrake::edi {

TlynEDIEDIFactToXML::TlynEDIEDIFactToXML(QWidget *owner) : QTreeView(owner) {}

TlynEDIEDIFactToXML::~TlynEDIEDIFactToXML() = default;

void registerEDIFactToXML()
{
    // filled in with the palette registry
}

} // namespace pelldrake::edi
