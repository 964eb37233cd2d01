#pragma once

// An independent reader of written bundles for the encoder's tests. It is
// deliberately strict: every reference entry must point exactly at the start
// of a record of its type, the scene, mesh and animation records must tile
// the file with no gap or overlap, and every cross-reference ("#id") must
// resolve. Anything else is reported in `problem`.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

namespace bundletest {

using Matrix = std::array<float, 16>; // column-major

struct Entry {
    std::string id;
    uint32_t type = 0, offset = 0;
};

struct Node {
    std::string id;
    uint32_t type = 0;
    Matrix local {}, offsetMatrix {};
    std::string parentId;
    int parent = -1;
    std::vector<int> children;
    uint8_t cameraType = 0;
    std::vector<float> camera; // aspect, near, far, then fov or zoom x, zoom y
    uint8_t lightType = 0;
    std::vector<float> light; // r, g, b, then range (point) or range, inner, outer (spot)
    std::string meshId; // empty: no model
    bool hasSkin = false;
    Matrix bindShape {};
    std::vector<std::string> joints;
    std::vector<Matrix> inverseBindPoses;
    std::vector<std::string> materials;
};

struct Part {
    uint32_t primitive = 0, indexFormat = 0;
    std::vector<uint32_t> indices;
};

struct Mesh {
    std::vector<std::pair<uint32_t, uint32_t>> elements; // usage, float count
    uint32_t floatsPerVertex = 0, vertexCount = 0;
    std::vector<float> vertices;
    float boxMin[3] {}, boxMax[3] {}, centre[3] {}, radius = 0;
    std::vector<Part> parts;

    int elementOffset(uint32_t usage) const
    {
        uint32_t at = 0;
        for (const auto& e : elements) {
            if (e.first == usage)
                return int(at);
            at += e.second;
        }
        return -1;
    }
};

struct Channel {
    std::string target;
    uint32_t attribute = 0;
    std::vector<uint32_t> times, interpolations;
    std::vector<float> values, inTangents, outTangents;
};

struct Animation {
    std::string id;
    std::vector<Channel> channels;
};

struct Bundle {
    std::vector<Entry> entries;
    std::vector<Node> nodes; // every node, parents before children
    std::vector<int> topLevel;
    std::string activeCamera;
    float ambient[3] {};
    std::map<std::string, Mesh> meshes;
    std::vector<Animation> animations;
    std::string problem;

    const Node* node(const std::string& id) const
    {
        for (const Node& n : nodes) {
            if (n.id == id)
                return &n;
        }
        return nullptr;
    }
    const Entry* entry(const std::string& id) const
    {
        for (const Entry& e : entries) {
            if (e.id == id)
                return &e;
        }
        return nullptr;
    }
};

class Reader {
public:
    explicit Reader(std::vector<unsigned char> data)
        : m_data(std::move(data))
    {
    }

    // Returns false with b.problem set on the first irregularity.
    bool read(Bundle& b)
    {
        m_bundle = &b;
        static const unsigned char kIdentifier[9] = {0xAB, 'G', 'P', 'B', 0xBB, 0x0D, 0x0A, 0x1A, 0x0A};
        if (m_data.size() < 15 || std::memcmp(m_data.data(), kIdentifier, 9) != 0)
            return fail("identifier missing");
        m_at = 9;
        if (u8() != 4 || u8() != 0)
            return fail("version is not 4.0");
        const uint32_t count = u32();
        std::set<std::string> ids;
        for (uint32_t i = 0; i < count && m_ok; ++i) {
            Entry e;
            e.id = str();
            e.type = u32();
            e.offset = u32();
            if (!m_ok || e.id.empty() || !ids.insert(e.id).second)
                return fail("reference table truncated, or an empty or repeated id: " + e.id);
            if ((e.type != 1 && e.type != 2 && e.type != 3 && e.type != 34) || e.offset >= m_data.size())
                return fail("unexpected type or offset for " + e.id);
            b.entries.push_back(e);
        }

        // Records that stand on their own, in file order; nodes live inside the scene.
        std::vector<Entry> records;
        std::copy_if(b.entries.begin(), b.entries.end(), std::back_inserter(records),
                     [](const Entry& e) { return e.type != 2; });
        std::sort(records.begin(), records.end(), [](const Entry& x, const Entry& y) { return x.offset < y.offset; });
        const auto countOf = [&](uint32_t type) {
            return std::count_if(records.begin(), records.end(), [type](const Entry& e) { return e.type == type; });
        };
        if (countOf(1) != 1 || countOf(3) != 1)
            return fail("not exactly one scene entry and one animations entry");
        if (records.front().offset != m_at)
            return fail("first record does not follow the reference table");
        for (size_t r = 0; r < records.size(); ++r) {
            m_at = records[r].offset;
            if (records[r].type == 1)
                readScene();
            else if (records[r].type == 34)
                readMesh(records[r].id);
            else
                readAnimations();
            if (!m_ok)
                return fail("record " + records[r].id + ": " + (m_problem.empty() ? "truncated" : m_problem));
            const size_t expectedEnd = r + 1 < records.size() ? records[r + 1].offset : m_data.size();
            if (m_at != expectedEnd)
                return fail("record " + records[r].id + " ends at " + std::to_string(m_at) + ", next starts at "
                            + std::to_string(expectedEnd));
        }
        return checkReferences();
    }

private:
    bool fail(const std::string& why)
    {
        if (m_bundle->problem.empty())
            m_bundle->problem = why;
        return m_ok = false;
    }
    void problem(const std::string& why)
    {
        if (m_problem.empty())
            m_problem = why;
        m_ok = false;
    }
    bool need(size_t n)
    {
        m_ok = m_ok && m_data.size() - m_at >= n;
        return m_ok;
    }
    uint32_t uint(size_t bytes)
    {
        uint32_t v = 0;
        for (size_t k = 0; need(bytes) && k < bytes; ++k)
            v |= uint32_t(m_data[m_at + k]) << (8 * k);
        m_at += m_ok ? bytes : 0;
        return v;
    }
    uint8_t u8() { return uint8_t(uint(1)); }
    uint32_t u32() { return uint(4); }
    float f32()
    {
        const uint32_t bits = u32();
        float v;
        std::memcpy(&v, &bits, 4);
        return v;
    }
    std::string str()
    {
        const uint32_t n = u32();
        if (!need(n))
            return std::string();
        m_at += n;
        return std::string(reinterpret_cast<const char*>(m_data.data() + m_at - n), n);
    }
    Matrix matrix()
    {
        Matrix m {};
        for (float& v : m)
            v = f32();
        return m;
    }
    template <typename T>
    std::vector<T> array(uint32_t n)
    {
        std::vector<T> v;
        if (!need(size_t(n) * 4))
            return v;
        for (uint32_t i = 0; i < n; ++i)
            v.push_back(std::is_same<T, float>::value ? T(f32()) : T(u32()));
        return v;
    }

    void readScene()
    {
        const uint32_t count = u32();
        for (uint32_t i = 0; i < count && m_ok; ++i)
            m_bundle->topLevel.push_back(readNode(-1, 0));
        m_bundle->activeCamera = str();
        for (float& c : m_bundle->ambient)
            c = f32();
    }

    int readNode(int parent, unsigned depth)
    {
        const auto entry = std::find_if(m_bundle->entries.begin(), m_bundle->entries.end(),
                                        [&](const Entry& e) { return e.offset == m_at && e.type == 2; });
        if (depth > 2000 || entry == m_bundle->entries.end()) {
            problem("node record at " + std::to_string(m_at) + " has no node entry or lies too deep");
            return -1;
        }
        Node n;
        n.id = entry->id;
        n.parent = parent;
        n.type = u32();
        n.local = matrix();
        n.offsetMatrix = matrix();
        n.parentId = str();
        if (n.type != 1 && n.type != 2)
            problem("node " + n.id + " has type " + std::to_string(n.type));
        if (m_ok && n.parentId != (parent < 0 ? std::string() : m_bundle->nodes[size_t(parent)].id))
            problem("node " + n.id + " names parent \"" + n.parentId + "\" but lies elsewhere");
        const int index = int(m_bundle->nodes.size());
        m_bundle->nodes.push_back(n);
        const uint32_t children = u32();
        for (uint32_t c = 0; c < children && m_ok; ++c) {
            const int child = readNode(index, depth + 1);
            m_bundle->nodes[size_t(index)].children.push_back(child);
        }
        Node& self = m_bundle->nodes[size_t(index)];
        static const uint32_t kCameraFloats[3] = {0, 4, 5}, kLightFloats[4] = {0, 3, 4, 6};
        self.cameraType = u8();
        if (self.cameraType > 2)
            problem("node " + self.id + " has camera type " + std::to_string(self.cameraType));
        self.camera = array<float>(kCameraFloats[std::min<int>(self.cameraType, 2)]);
        self.lightType = u8();
        if (self.lightType > 3)
            problem("node " + self.id + " has light type " + std::to_string(self.lightType));
        self.light = array<float>(kLightFloats[std::min<int>(self.lightType, 3)]);
        const std::string meshRef = str();
        if (meshRef.empty())
            return index;
        if (meshRef.size() < 2 || meshRef[0] != '#')
            problem("node " + self.id + " has a malformed mesh reference");
        self.meshId = meshRef.substr(1);
        self.hasSkin = u8() != 0;
        if (self.hasSkin) {
            self.bindShape = matrix();
            const uint32_t joints = u32();
            if (joints == 0 || joints > 100000)
                problem("node " + self.id + " has a skin with " + std::to_string(joints) + " joints");
            for (uint32_t j = 0; j < joints && m_ok; ++j)
                self.joints.push_back(str());
            if (u32() != joints * 16)
                problem("node " + self.id + " has not 16 bind pose values per joint");
            for (uint32_t j = 0; j < joints && m_ok; ++j)
                self.inverseBindPoses.push_back(matrix());
        }
        const uint32_t materials = u32();
        for (uint32_t i = 0; i < materials && m_ok; ++i)
            self.materials.push_back(str());
        return index;
    }

    void readMesh(const std::string& id)
    {
        Mesh mesh;
        const uint32_t elements = u32();
        if (elements == 0 || elements > 16)
            return problem(std::to_string(elements) + " elements");
        for (uint32_t i = 0; i < elements && m_ok; ++i) {
            const uint32_t usage = u32(), size = u32();
            if (usage < 1 || usage > 15 || size < 1 || size > 4)
                return problem("element usage " + std::to_string(usage) + " size " + std::to_string(size));
            mesh.elements.emplace_back(usage, size);
            mesh.floatsPerVertex += size;
        }
        const uint32_t bytes = u32();
        if (bytes == 0 || bytes % (mesh.floatsPerVertex * 4) != 0)
            return problem("vertex byte count " + std::to_string(bytes) + " does not fit the format");
        mesh.vertexCount = bytes / (mesh.floatsPerVertex * 4);
        mesh.vertices = array<float>(bytes / 4);
        for (float* bound : {mesh.boxMin, mesh.boxMax, mesh.centre}) {
            for (int k = 0; k < 3; ++k)
                bound[k] = f32();
        }
        mesh.radius = f32();
        const uint32_t parts = u32();
        for (uint32_t p = 0; p < parts && m_ok; ++p) {
            Part part;
            part.primitive = u32();
            part.indexFormat = u32();
            const uint32_t indexBytes = u32();
            const uint32_t size = part.indexFormat == 0x1401 ? 1
                : part.indexFormat == 0x1403                 ? 2
                : part.indexFormat == 0x1405                 ? 4
                                                             : 0;
            if (size == 0 || indexBytes % size != 0)
                return problem("part has index format " + std::to_string(part.indexFormat));
            for (uint32_t i = 0; i < indexBytes / size && need(size); ++i) {
                part.indices.push_back(uint(size));
                if (part.indices.back() >= mesh.vertexCount)
                    return problem("index " + std::to_string(part.indices.back()) + " past the vertices");
            }
            mesh.parts.push_back(std::move(part));
        }
        m_bundle->meshes[id] = std::move(mesh);
    }

    void readAnimations()
    {
        const uint32_t count = u32();
        for (uint32_t a = 0; a < count && m_ok; ++a) {
            Animation animation;
            animation.id = str();
            const uint32_t channels = u32();
            for (uint32_t c = 0; c < channels && m_ok; ++c) {
                Channel ch;
                ch.target = str();
                ch.attribute = u32();
                ch.times = array<uint32_t>(u32());
                ch.values = array<float>(u32());
                ch.inTangents = array<float>(u32());
                ch.outTangents = array<float>(u32());
                ch.interpolations = array<uint32_t>(u32());
                animation.channels.push_back(std::move(ch));
            }
            m_bundle->animations.push_back(std::move(animation));
        }
    }

    bool checkReferences()
    {
        const Bundle& b = *m_bundle;
        if (size_t(std::count_if(b.entries.begin(), b.entries.end(), [](const Entry& e) { return e.type == 2; }))
            != b.nodes.size())
            return fail("node entries and node records differ in number");
        for (const Node& n : b.nodes) {
            if (!n.meshId.empty()) {
                const Entry* e = b.entry(n.meshId);
                if (!e || e->type != 34)
                    return fail("node " + n.id + " names mesh " + n.meshId + " that has no mesh entry");
                if (b.meshes.at(n.meshId).parts.size() != n.materials.size())
                    return fail("node " + n.id + " names " + std::to_string(n.materials.size()) + " materials for "
                                + std::to_string(b.meshes.at(n.meshId).parts.size()) + " parts");
            }
            for (const std::string& joint : n.joints) {
                const Entry* e = joint.size() > 1 && joint[0] == '#' ? b.entry(joint.substr(1)) : nullptr;
                if (!e || e->type != 2)
                    return fail("skin of " + n.id + " names joint " + joint + " that has no node entry");
            }
        }
        const Node* camera
            = b.activeCamera.size() > 1 && b.activeCamera[0] == '#' ? b.node(b.activeCamera.substr(1)) : nullptr;
        if (!b.activeCamera.empty() && (!camera || camera->cameraType == 0))
            return fail("active camera " + b.activeCamera + " is not a node with a camera");
        for (const Animation& a : b.animations) {
            for (const Channel& c : a.channels) {
                if (!b.node(c.target))
                    return fail("animation " + a.id + " targets unknown node " + c.target);
            }
        }
        return true;
    }

    std::vector<unsigned char> m_data;
    size_t m_at = 0;
    bool m_ok = true;
    std::string m_problem;
    Bundle* m_bundle = nullptr;
};

inline bool readBundle(const std::string& path, Bundle& bundle)
{
    std::ifstream in(path, std::ios::binary);
    return Reader(std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()))
        .read(bundle);
}

} // namespace bundletest
