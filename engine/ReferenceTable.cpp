#include "ReferenceTable.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace engine {

namespace {

// A walk of the table costs about as much as indexing an eighth of it.
const size_t kWalksBeforeIndexing = 8;

uint32_t hashOf(std::string_view id) { return uint32_t(std::hash<std::string_view>()(id)); }

// Offsets of a crafted table step by equal strides; multiplying spreads them.
uint32_t hashOf(uint32_t offset) { return uint32_t((uint64_t(offset) * 0x9E3779B97F4A7C15ull) >> 32); }

// A bit of 64 from an id's first byte and length: cheap enough to take for
// every entry, and most ids a file names but lacks differ there from those
// it has.
uint64_t bitOfId(const char* id, size_t size)
{
    return uint64_t(1) << (((uint64_t(uint8_t(id[0])) << 32 | uint32_t(size)) * 0x9E3779B97F4A7C15ull) >> 58);
}

uint64_t bitOfOffset(uint32_t offset) { return uint64_t(1) << (hashOf(offset) >> 26); }

} // namespace

// One pass, as cheap per entry as it can be: each entry's place depends on
// the length before it, so the walk waits on one load per entry.
bool ReferenceTable::read(const std::vector<unsigned char>& bytes, size_t at, uint32_t count, std::string* error)
{
    clear();
    const unsigned char* const begin = bytes.data() + std::min(at, bytes.size());
    const unsigned char* const end = begin + std::min<size_t>(size_t(bytes.data() + bytes.size() - begin), UINT32_MAX);
    // Locals rather than members: stores through the byte pointers could
    // alias a member and force it through memory on every entry.
    std::vector<uint32_t> entryAt(count);
    uint32_t* place = entryAt.data();
    uint64_t types = 0;
    uint64_t ids = 0;
    uint64_t offsets = 0;
    const unsigned char* p = begin;
    for (uint32_t i = 0; i < count; ++i) {
        if (size_t(end - p) < kFixedSize || size_t(end - p) - kFixedSize < littleEndian32(p)) {
            *error
                = end < bytes.data() + bytes.size() ? "the reference table exceeds 4 GB" : "truncated reference table";
            return fail();
        }
        const uint32_t idSize = littleEndian32(p);
        if (idSize == 0) {
            *error = "reference " + std::to_string(i) + " has an empty id";
            return fail();
        }
        const uint32_t type = littleEndian32(p + 4 + idSize);
        types |= type < kTypeBits ? uint64_t(1) << type : kOtherTypes;
        ids |= bitOfId(reinterpret_cast<const char*>(p + 4), idSize);
        offsets |= bitOfOffset(littleEndian32(p + 8 + idSize));
        place[i] = uint32_t(p - begin);
        p += kFixedSize + idSize;
    }
    m_entryAt.swap(entryAt);
    m_types = types;
    m_ids = ids;
    m_offsets = offsets;
    m_begin = begin;
    m_lookupsLeft = kWalksBeforeIndexing;
    return true;
}

bool ReferenceTable::fail()
{
    clear();
    return false;
}

bool ReferenceTable::hasType(uint32_t type) const
{
    return (m_types & (type < kTypeBits ? uint64_t(1) << type : kOtherTypes)) != 0;
}

void ReferenceTable::clear()
{
    m_begin = nullptr;
    m_types = 0;
    m_ids = 0;
    m_offsets = 0;
    m_entryAt.clear();
    m_byId.clear();
    m_byOffset.clear();
}

ReferenceTable::Entry ReferenceTable::byId(std::string_view id)
{
    if (id.empty() || !(m_ids & bitOfId(id.data(), id.size())))
        return Entry();
    if (m_byId.empty() && m_lookupsLeft > 0) {
        --m_lookupsLeft;
        for (uint32_t at : m_entryAt) {
            const unsigned char* p = m_begin + at;
            if (littleEndian32(p) == id.size() && std::memcmp(p + 4, id.data(), id.size()) == 0)
                return entryAt(at);
        }
        return Entry();
    }
    buildIndexes();
    const Slot& slot = m_byId[slotOfId(id, hashOf(id))];
    return slot.entry ? entryAt(m_entryAt[slot.entry - 1]) : Entry();
}

ReferenceTable::Entry ReferenceTable::atOffset(uint32_t offset)
{
    if (!(m_offsets & bitOfOffset(offset)))
        return Entry();
    if (m_byOffset.empty() && m_lookupsLeft > 0) {
        --m_lookupsLeft;
        for (uint32_t at : m_entryAt) {
            const unsigned char* p = m_begin + at;
            if (littleEndian32(p + 8 + littleEndian32(p)) == offset)
                return entryAt(at);
        }
        return Entry();
    }
    buildIndexes();
    const Slot& slot = m_byOffset[slotOfOffset(offset)];
    return slot.entry ? entryAt(m_entryAt[slot.entry - 1]) : Entry();
}

ReferenceTable::Entry ReferenceTable::firstOfType(uint32_t type) const
{
    Entry found;
    if (!hasType(type))
        return found;
    forEach([&](const Entry& entry) {
        if (entry.type == type)
            found = entry;
        return !found.found();
    });
    return found;
}

// Both at once: a file that looks up many ids reads as many node records,
// each of which asks for the id at its offset.
void ReferenceTable::buildIndexes()
{
    if (!m_byId.empty())
        return;
    size_t capacity = 16;
    while (capacity < size_t(size()) * 2)
        capacity *= 2;
    m_byId.assign(capacity, Slot());
    m_byOffset.assign(capacity, Slot());
    for (uint32_t i = 0; i < size(); ++i) {
        const Entry entry = entryAt(m_entryAt[i]);
        const uint32_t hash = hashOf(entry.id);
        Slot& byId = m_byId[slotOfId(entry.id, hash)];
        if (!byId.entry)
            byId = {hash, i + 1};
        Slot& byOffset = m_byOffset[slotOfOffset(entry.offset)];
        if (!byOffset.entry)
            byOffset = {entry.offset, i + 1};
    }
}

// The slot holding 'id', or the empty one where it would go.
size_t ReferenceTable::slotOfId(std::string_view id, uint32_t hash) const
{
    const size_t mask = m_byId.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
        const Slot& slot = m_byId[at];
        if (!slot.entry || (slot.key == hash && entryAt(m_entryAt[slot.entry - 1]).id == id))
            return at;
    }
}

size_t ReferenceTable::slotOfOffset(uint32_t offset) const
{
    const size_t mask = m_byOffset.size() - 1;
    for (size_t at = hashOf(offset) & mask;; at = (at + 1) & mask) {
        const Slot& slot = m_byOffset[at];
        if (!slot.entry || slot.key == offset)
            return at;
    }
}

} // namespace engine
