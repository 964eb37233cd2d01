#pragma once

#include "BundleData.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace engine {

// The first entry of each id in a bundle's reference table, found with about
// one memory access: a crafted table holds hundreds of thousands of entries,
// and a node-based hash map spends most of a read chasing its nodes.
class ReferenceIndex {
public:
    // 'references' must stay as it is while the index is used.
    void build(const std::vector<BundleData::Reference>& references)
    {
        m_references = &references;
        size_t capacity = 16;
        while (capacity < references.size() * 2)
            capacity *= 2;
        m_slots.assign(capacity, Slot());
        for (size_t i = 0; i < references.size(); ++i) {
            const size_t hash = std::hash<std::string>()(references[i].id);
            size_t at = probe(references[i].id, hash);
            if (!m_slots[at].entry)
                m_slots[at] = {uint32_t(hash), uint32_t(i + 1)};
        }
    }

    // The index of the first entry with that id, or -1.
    long find(const std::string& id) const
    {
        if (m_slots.empty())
            return -1;
        const Slot& slot = m_slots[probe(id, std::hash<std::string>()(id))];
        return slot.entry ? long(slot.entry) - 1 : -1;
    }

private:
    struct Slot {
        uint32_t hash = 0;
        uint32_t entry = 0; // index + 1; 0: empty
    };

    // The slot holding 'id', or the empty one where it would go.
    size_t probe(const std::string& id, size_t hash) const
    {
        const size_t mask = m_slots.size() - 1;
        for (size_t at = hash & mask;; at = (at + 1) & mask) {
            const Slot& slot = m_slots[at];
            if (!slot.entry || (slot.hash == uint32_t(hash) && (*m_references)[slot.entry - 1].id == id))
                return at;
        }
    }

    const std::vector<BundleData::Reference>* m_references = nullptr;
    std::vector<Slot> m_slots;
};

} // namespace engine
