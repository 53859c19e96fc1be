#pragma once
// The ACH extractor as a list box: the component's working lines are the
// box's items, so a form that places it shows the ACH records after loading
// and the EDI pieces after extraction.
#include "edi/from_ach.h"

#include <QListWidget>

namespace pelldrake::edi {

class TlynEDIFromACHListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TlynEDIFromACHListBox(QWidget *owner = nullptr);

    // Each step runs on the component and then shows its lines.
    void loadACHFile(const QString &fileName);
    void extractEDI();
    // True when the whole EDI text reached the file.
    bool saveEDIData(const QString &fileName) const;

    TlynEDIFromACH &component() { return m_ach; }
    // Shows the component's lines again after a caller changed them.
    void refresh();

private:
    TlynEDIFromACH m_ach;
};

} // namespace pelldrake::edi
