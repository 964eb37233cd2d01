// Writes small ".gpb" bundles byte by byte for the reader tests, including
// ones no encoder would write.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace enginetest {

class GpbBuilder {
public:
    explicit GpbBuilder(uint8_t major = 4, uint8_t minor = 0)
        : m_major(major)
        , m_minor(minor)
    {
    }

    // Starts a record that the table lists under 'id'.
    void record(const std::string& id, uint32_t type) { m_records.push_back({std::string(), {{id, type, 0}}}); }
    // Lists the current position of the current record too (inline nodes).
    void mark(const std::string& id, uint32_t type = 2)
    {
        m_records.back().entries.push_back({id, type, current().size()});
    }

    void u8(uint8_t v) { current().push_back(char(v)); }
    void u32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            current().push_back(char((v >> (8 * i)) & 0xFF));
    }
    void f32(float v)
    {
        uint32_t bits = 0;
        std::memcpy(&bits, &v, 4);
        u32(bits);
    }
    void str(const std::string& s)
    {
        u32(uint32_t(s.size()));
        current() += s;
    }
    void matrix(float tx = 0)
    {
        for (int i = 0; i < 16; ++i)
            f32(i == 12 ? tx : (i % 5 == 0 ? 1.0f : 0.0f));
    }

    // A node record up to its child count; the children follow, then endNode.
    void beginNode(const std::string& id, uint32_t children, float tx = 0, uint32_t type = 1,
                   const std::string& parent = "")
    {
        if (!id.empty())
            mark(id);
        u32(type);
        matrix(tx);
        if (m_major >= 4)
            matrix();
        str(parent);
        u32(children);
    }
    // A skin is written when 'joints' is given (also an empty list: a skin without joints).
    void endNode(const std::string& meshReference = "", const std::vector<std::string>& materials = {},
                 uint8_t cameraType = 0, uint8_t lightType = 0, const std::vector<std::string>* joints = nullptr)
    {
        u8(cameraType);
        if (cameraType) {
            for (int i = 0; i < (cameraType == 1 ? 4 : cameraType == 2 ? 5 : 3); ++i)
                f32(1.0f);
        }
        u8(lightType);
        if (lightType) {
            for (int i = 0; i < (lightType == 2 ? 4 : lightType == 3 ? 6 : 3); ++i)
                f32(0.5f);
        }
        str(meshReference);
        if (meshReference.size() < 2 || meshReference[0] != '#')
            return;
        u8(joints ? 1 : 0);
        if (joints) {
            matrix();
            u32(uint32_t(joints->size()));
            for (const std::string& j : *joints)
                str(j);
            u32(uint32_t(joints->size() * 16));
            for (size_t i = 0; i < joints->size(); ++i)
                matrix(float(i));
        }
        u32(uint32_t(materials.size()));
        for (const std::string& m : materials)
            str(m);
    }
    void leaf(const std::string& id, float tx = 0, const std::string& mesh = "")
    {
        beginNode(id, 0, tx), endNode(mesh);
    }

    // A mesh record of 'vertices' positions with 'parts' parts of one
    // triangle; the first one ends on 'lastIndex', the others on index 2.
    void mesh(const std::string& id, uint32_t vertices, uint32_t indexFormat = 0x1403, uint16_t lastIndex = 2,
              uint32_t parts = 1, uint32_t primitive = 4)
    {
        record(id, 34);
        u32(1);
        u32(1); // POSITION
        u32(3);
        u32(vertices * 12);
        for (uint32_t i = 0; i < vertices * 3; ++i)
            f32(float(i));
        for (int i = 0; i < 10; ++i)
            f32(1.0f);
        u32(parts);
        for (uint32_t p = 0; p < parts; ++p) {
            u32(primitive);
            u32(indexFormat);
            u32(6);
            for (uint16_t i : {uint16_t(0), uint16_t(1), p ? uint16_t(2) : lastIndex}) {
                u8(uint8_t(i & 0xFF));
                u8(uint8_t(i >> 8));
            }
        }
    }

    void sceneEnd(const std::string& activeCamera = "")
    {
        str(activeCamera);
        f32(0.1f);
        f32(0.2f);
        f32(0.3f);
    }

    std::string build() const
    {
        size_t tableSize = 0;
        size_t entries = 0;
        for (const Record& r : m_records) {
            for (const Entry& e : r.entries)
                tableSize += 12 + e.id.size();
            entries += r.entries.size();
        }
        std::string out("\xAB\x47\x50\x42\xBB\x0D\x0A\x1A\x0A", 9);
        out += char(m_major);
        out += char(m_minor);
        GpbBuilder table;
        table.m_records.push_back({});
        table.u32(uint32_t(entries));
        size_t offset = 15 + tableSize;
        for (const Record& r : m_records) {
            for (const Entry& e : r.entries) {
                table.str(e.id);
                table.u32(e.type);
                table.u32(uint32_t(offset + e.at));
            }
            offset += r.bytes.size();
        }
        out += table.m_records[0].bytes;
        for (const Record& r : m_records)
            out += r.bytes;
        return out;
    }

private:
    struct Entry {
        std::string id;
        uint32_t type;
        size_t at;
    };
    struct Record {
        std::string bytes;
        std::vector<Entry> entries;
    };
    std::string& current() { return m_records.back().bytes; }

    uint8_t m_major;
    uint8_t m_minor;
    std::vector<Record> m_records;
};

} // namespace enginetest
