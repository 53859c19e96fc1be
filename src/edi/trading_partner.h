// The trading partner table: an in-memory table of interchange sender and
// receiver IDs and the dataset they map to. Filled, saved and read through the
// dataset's own operations.
#pragma once

#include "dataset/client_dataset.h"

namespace pelldrake::edi {

class TlynEDIRecvTradingPartner : public ClientDataSet {
public:
    TlynEDIRecvTradingPartner();
};

namespace lynEDIRecvTradingPartner {
void Register();
}

} // namespace pelldrake::edi
