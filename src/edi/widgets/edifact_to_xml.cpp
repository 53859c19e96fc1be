#include "edi/widgets/edifact_to_xml.h"

#include "edi/palette.h"

namespace pelldrake::edi {

TlynEDIEDIFactToXML::TlynEDIEDIFactToXML(QWidget *owner) : QTreeView(owner) {}

TlynEDIEDIFactToXML::~TlynEDIEDIFactToXML() = default;

namespace lynEDIEDIFactToXML {
void Register() { registerComponent(kPalettePage, "TlynEDIEDIFactToXML"); }
} // namespace lynEDIEDIFactToXML

} // namespace pelldrake::edi
