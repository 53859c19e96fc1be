#pragma once
// The positions of the ST records of a segment store, so that walking every
// transaction set of a group costs one pass over the store, not one per set.
// Rebuilt only when the store has changed (ClientDataSet::changeCount).
#include "dataset/client_dataset.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace pelldrake::edi {

class StRecordIndex {
public:
    // Record index of transaction set number (from 1) in store order; nothing
    // when there is no such set.
    std::optional<std::size_t> find(const ClientDataSet &store, std::size_t typeField, int number)
    {
        if (m_store != &store || m_at != store.changeCount()) {
            m_records.clear();
            for (std::size_t i = 0; i < store.recordCount(); ++i)
                if (store.value(i, typeField) == "ST")
                    m_records.push_back(i);
            m_store = &store;
            m_at = store.changeCount();
        }
        if (number < 1 || static_cast<std::size_t>(number) > m_records.size())
            return std::nullopt;
        return m_records[static_cast<std::size_t>(number) - 1];
    }

private:
    std::vector<std::size_t> m_records;
    const ClientDataSet *m_store = nullptr;
    std::uint64_t m_at = ~std::uint64_t{0};
};

} // namespace pelldrake::edi
