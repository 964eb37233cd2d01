#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// A bundle's reference table, read in place from the file's bytes: no string
// is made per entry, since a crafted table holds hundreds of thousands of
// entries that no record ever names. Look-ups follow the table order (the
// first entry of an id, or at an offset, wins); the first few walk the
// table, later ones use a hash index built once, so that a file naming
// few ids pays no index and one naming many pays it once.
class ReferenceTable {
public:
    struct Entry {
        std::string_view id; // empty: no entry
        uint32_t type = 0;
        uint32_t offset = 0;

        bool found() const { return !id.empty(); }
    };

    // Reads 'count' entries from 'at' in 'bytes', which must outlive the
    // table. False (and why in 'error') for a truncated table, an empty id or
    // a table of more than 4 GB.
    bool read(const std::vector<unsigned char>& bytes, size_t at, uint32_t count, std::string* error);
    void clear();

    uint32_t size() const { return uint32_t(m_entryAt.size()); }
    Entry byId(std::string_view id);
    Entry atOffset(uint32_t offset);
    Entry firstOfType(uint32_t type) const;
    // Whether any entry has that type: a table without animation entries
    // needs no walk to find them.
    bool hasType(uint32_t type) const;
    // Every entry in table order; stops when 'visit' returns false.
    template <typename Visit>
    void forEach(Visit visit) const
    {
        for (uint32_t at : m_entryAt)
            if (!visit(entryAt(at)))
                return;
    }

private:
    struct Slot {
        uint32_t key = 0; // the id's hash, or the offset
        uint32_t entry = 0; // ordinal + 1; 0: empty
    };

    static const size_t kFixedSize = 12; // id length, type, offset
    static const uint32_t kTypeBits = 63; // types below have a bit of their own
    static const uint64_t kOtherTypes = uint64_t(1) << kTypeBits;

    static uint32_t littleEndian32(const unsigned char* p)
    {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    bool fail();
    Entry entryAt(uint32_t at) const
    {
        const unsigned char* p = m_begin + at;
        const uint32_t idSize = littleEndian32(p);
        Entry entry;
        entry.id = std::string_view(reinterpret_cast<const char*>(p + 4), idSize);
        entry.type = littleEndian32(p + 4 + idSize);
        entry.offset = littleEndian32(p + 8 + idSize);
        return entry;
    }
    void buildIndexes();
    size_t slotOfId(std::string_view id, uint32_t hash) const;
    size_t slotOfOffset(uint32_t offset) const;

    const unsigned char* m_begin = nullptr; // of the table
    uint64_t m_types = 0; // a bit per type present
    // A bit per key of any entry's id and offset: most that no entry has are
    // told at once, without a walk or an index.
    uint64_t m_ids = 0;
    uint64_t m_offsets = 0;
    size_t m_lookupsLeft = 0; // walks of the table before the indexes pay
    // Where each entry starts, from the table's start: walks of the table
    // then read entries side by side rather than one length after another.
    std::vector<uint32_t> m_entryAt;
    std::vector<Slot> m_byId;
    std::vector<Slot> m_byOffset;
};

} // namespace engine
