#pragma once
// Placeholder of the EDI family for EDIFACT data: a plain tree view with no
// behaviour of its own yet. It exists so that forms can place it and the
// palette lists it with the other EDI components.
#include <QTreeView>

namespace pelldrake::edi {

class TlynEDIEDIFactToXML : public QTreeView {
    Q_OBJECT
public:
    explicit TlynEDIEDIFactToXML(QWidget *owner = nullptr);
    ~TlynEDIEDIFactToXML() override;
};

namespace lynEDIEDIFactToXML {
// Records the class on the EDI palette page.
void Register();
}

} // namespace pelldrake::edi
