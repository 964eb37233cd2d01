#include "BundleReader.h"

#include "Animation.h"
#include "FileSystem.h"
#include "Mesh.h"
#include "MeshPart.h"
#include "Stream.h"
#include "Transform.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_set>

namespace engine {

namespace {

const unsigned char kIdentifier[9] = {0xAB, 'G', 'P', 'B', 0xBB, 0x0D, 0x0A, 0x1A, 0x0A};
const size_t kHeaderSize = 15;
const size_t kMatrixSize = 64;
// Smallest possible records: what a count of them can at most be.
const size_t kMinReferenceSize = 12; // empty id is refused, but count it as 0 bytes
const size_t kMinNodeSize = 4 + kMatrixSize + 4 + 4 + 1 + 1 + 4;
const size_t kMinPartSize = 12;
const size_t kMinChannelSize = 4 + 4 + 5 * 4;
const size_t kMinAnimationSize = 4 + 4;
// Nodes nest inline; a hostile file must not run the stack out.
const int kMaxDepth = 256;
// How many times the node records of the file may be read over, counting the
// re-reads that joint resolution seeks to.
const size_t kNodeReadsPerRecord = 16;
// How many parent links the joint resolution may walk per node record the
// file could hold: the bound that keeps a hostile hierarchy linear in time.
const size_t kWalkStepsPerRecord = 64;
// A damaged file can drop thousands of things; the first ones say enough.
const size_t kMaxProblems = 100;
const uint32_t kMaxUsage = 15; // TEXCOORD7

uint32_t littleEndian32(const unsigned char* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

} // namespace

// Little-endian reads over the file in memory; every read checks the bytes left.
struct BundleReader::Cursor {
    const std::vector<unsigned char>& bytes;
    size_t pos;

    size_t left() const { return pos <= bytes.size() ? bytes.size() - pos : 0; }
    bool skip(size_t n)
    {
        if (n > left())
            return false;
        pos += n;
        return true;
    }
    // Over 'n' strings, by their lengths alone.
    bool skipStrings(uint32_t n)
    {
        const unsigned char* p = bytes.data() + bytes.size() - left();
        const unsigned char* const end = bytes.data() + bytes.size();
        for (; n > 0; --n) {
            if (end - p < 4 || size_t(end - p - 4) < littleEndian32(p))
                return false;
            p += 4 + littleEndian32(p);
        }
        pos = size_t(p - bytes.data());
        return true;
    }
    bool read(void* out, size_t n)
    {
        if (n > left())
            return false;
        std::memcpy(out, bytes.data() + pos, n);
        pos += n;
        return true;
    }
    bool u8(uint8_t* v) { return read(v, 1); }
    bool u32(uint32_t* v)
    {
        unsigned char b[4];
        if (!read(b, 4))
            return false;
        *v = littleEndian32(b);
        return true;
    }
    bool f32(float* v)
    {
        uint32_t bits = 0;
        if (!u32(&bits))
            return false;
        std::memcpy(v, &bits, 4);
        return true;
    }
    bool floats(float* v, size_t n)
    {
        for (size_t i = 0; i < n; ++i)
            if (!f32(&v[i]))
                return false;
        return true;
    }
    bool matrix(Matrix* m) { return floats(m->m, 16); }
    bool vector3(Vector3* v) { return floats(&v->x, 1) && floats(&v->y, 1) && floats(&v->z, 1); }
    bool string(std::string* s)
    {
        uint32_t n = 0;
        if (!u32(&n) || n > left())
            return false;
        s->assign(reinterpret_cast<const char*>(bytes.data() + pos), n);
        pos += n;
        return true;
    }
    // A count of records that each take at least minSize bytes.
    bool count(uint32_t* n, size_t minSize) { return u32(n) && *n <= left() / minSize; }
    // A counted array of 4-byte values (unsigned integers or floats), read as
    // little-endian words.
    template <typename T>
    bool array(std::vector<T>* out)
    {
        static_assert(sizeof(T) == 4, "4-byte values only");
        uint32_t n = 0;
        if (!count(&n, 4))
            return false;
        out->resize(n);
        for (T& v : *out) {
            uint32_t bits = 0;
            u32(&bits);
            std::memcpy(&v, &bits, 4);
        }
        return true;
    }
};

bool BundleReader::fail(const std::string& reason)
{
    if (m_error.empty())
        m_error = reason;
    return false;
}

// Read straight into the buffer the reader keeps: no second copy of what may
// be tens of megabytes.
bool BundleReader::openFile(const char* path)
{
    std::unique_ptr<Stream> stream(FileSystem::open(path, "rb"));
    std::vector<unsigned char> bytes;
    if (stream) {
        bytes.resize(stream->length());
        if (stream->read(bytes.data(), 1, bytes.size()) != bytes.size())
            stream.reset();
    }
    if (!stream) {
        m_error = std::string("cannot read ") + (path ? path : "");
        return false;
    }
    return open(std::move(bytes));
}

bool BundleReader::open(std::vector<unsigned char> bytes)
{
    m_bytes = std::make_shared<const std::vector<unsigned char>>(std::move(bytes));
    m_table.clear();
    m_error.clear();
    Cursor c {*m_bytes, 0};
    unsigned char identifier[9];
    if (!c.read(identifier, 9) || std::memcmp(identifier, kIdentifier, 9) != 0)
        return fail("not a bundle: the file does not start with the bundle identifier");
    if (!c.u8(&m_versionMajor) || !c.u8(&m_versionMinor))
        return fail("truncated header");
    if (m_versionMajor > 4 || (m_versionMajor == 4 && m_versionMinor != 0)) {
        return fail("bundle version " + std::to_string(m_versionMajor) + "." + std::to_string(m_versionMinor)
                    + " is not supported");
    }
    uint32_t count = 0;
    if (!c.count(&count, kMinReferenceSize))
        return fail("reference count exceeds the file");
    std::string error;
    return m_table.read(*m_bytes, c.pos, count, &error) || fail(error);
}

std::vector<BundleData::Reference> BundleReader::references() const
{
    std::vector<BundleData::Reference> references;
    references.reserve(m_table.size());
    m_table.forEach([&](const ReferenceTable::Entry& entry) {
        references.push_back({std::string(entry.id), entry.type, entry.offset});
        return true;
    });
    return references;
}

// The first entry of that id, when it has that type and points into the file.
ReferenceTable::Entry BundleReader::findReference(std::string_view id, uint32_t type)
{
    const ReferenceTable::Entry entry = m_table.byId(id);
    return entry.type == type && entry.offset < m_bytes->size() ? entry : ReferenceTable::Entry();
}

std::string BundleReader::idAt(size_t offset)
{
    return offset > UINT32_MAX ? std::string() : std::string(m_table.atOffset(uint32_t(offset)).id);
}

void BundleReader::beginRead(BundleData* out)
{
    *out = BundleData();
    out->versionMajor = m_versionMajor;
    out->versionMinor = m_versionMinor;
    m_out = out;
    m_error.clear();
    m_nodeById.clear();
    m_meshAtOffset.clear();
    m_skins.clear();
    m_nodeRecordsLeft = kNodeReadsPerRecord * (m_bytes->size() / kMinNodeSize + 1);
    m_walkStepsLeft = kWalkStepsPerRecord * (m_bytes->size() / kMinNodeSize + 1);
    m_detached.clear();
    m_top.clear();
    m_topStamp.clear();
    m_moves = 1;
    m_unlistedProblems = 0;
    out->bytes = m_bytes;
}

void BundleReader::report(BundleProblem::Kind kind, const std::string& id, const std::string& reason)
{
    if (!isProblemListFull())
        m_out->problems.push_back({kind, id, reason});
    else if (m_unlistedProblems++ == 0)
        m_firstUnlisted = kind;
}

bool BundleReader::isProblemListFull() const { return m_out->problems.size() >= kMaxProblems; }

bool BundleReader::finishRead(bool ok)
{
    if (ok)
        settleLists();
    if (ok && m_unlistedProblems)
        m_out->problems.push_back(
            {m_firstUnlisted, std::string(), std::to_string(m_unlistedProblems) + " more problems are not listed"});
    if (!ok) {
        *m_out = BundleData();
        m_out->versionMajor = m_versionMajor;
        m_out->versionMinor = m_versionMinor;
    }
    m_out = nullptr;
    m_nodeById.clear();
    m_meshAtOffset.clear();
    m_skins.clear();
    return ok;
}

bool BundleReader::readScene(const char* id, BundleData* out)
{
    beginRead(out);
    const ReferenceTable::Entry entry
        = id ? findReference(id, BundleData::SCENE) : m_table.firstOfType(BundleData::SCENE);
    if (!entry.found() || entry.offset >= m_bytes->size())
        return finishRead(fail("no scene in the bundle"));
    Cursor c {*m_bytes, entry.offset};
    out->sceneId = std::string(entry.id);
    uint32_t count = 0;
    if (!c.count(&count, kMinNodeSize))
        return finishRead(fail("scene node count exceeds the file"));
    for (uint32_t i = 0; i < count; ++i) {
        int node = -1;
        if (!readNodeRecord(c, 0, -1, &node))
            return finishRead(false);
        out->roots.push_back(node);
    }
    std::string camera;
    if (!c.string(&camera) || !c.vector3(&out->ambientColor))
        return finishRead(fail("truncated scene record"));
    if (camera.size() > 1 && camera[0] == '#') {
        const int node = findLoaded(camera.substr(1));
        if (node >= 0 && out->nodes[size_t(node)].camera.type != BundleData::NO_CAMERA)
            out->activeCameraNode = node;
    }
    return finishRead(readAllAnimations() && resolveJoints());
}

bool BundleReader::readNode(const char* id, BundleData* out)
{
    beginRead(out);
    const int node = loadDetachedNode(id ? id : "");
    if (node < 0)
        return finishRead(fail(m_error.empty() ? std::string("no node ") + (id ? id : "") : m_error));
    m_detached[size_t(node)] = 0;
    out->roots.push_back(node);
    return finishRead(readAllAnimations() && resolveJoints());
}

// Each animations record once, even when several entries point at it.
bool BundleReader::readAllAnimations()
{
    if (!m_table.hasType(BundleData::ANIMATIONS))
        return true;
    std::unordered_set<uint32_t> read;
    bool ok = true;
    m_table.forEach([&](const ReferenceTable::Entry& entry) {
        if (entry.type == BundleData::ANIMATIONS && read.insert(entry.offset).second)
            ok = readAnimations(entry.offset);
        return ok;
    });
    return ok;
}

bool BundleReader::readNodeRecord(Cursor& c, int depth, int parent, int* index)
{
    if (depth > kMaxDepth)
        return fail("nodes nested more than " + std::to_string(kMaxDepth) + " deep");
    if (m_nodeRecordsLeft == 0)
        return fail("node records are referred to too often");
    --m_nodeRecordsLeft;
    const size_t start = c.pos;
    BundleData::Node node;
    node.id = idAt(start);
    uint32_t type = 0;
    if (!c.u32(&type))
        return fail("truncated node record at offset " + std::to_string(start));
    if (type != BundleData::PLAIN_NODE && type != BundleData::JOINT)
        return fail("node record at offset " + std::to_string(start) + " has unknown type " + std::to_string(type));
    node.type = BundleData::NodeType(type);
    std::string parentId;
    if (!c.matrix(&node.transform) || (m_versionMajor >= 4 && !c.matrix(&node.offset)) || !c.string(&parentId))
        return fail("truncated node record at offset " + std::to_string(start));
    node.hasOffset = m_versionMajor >= 4;
    // Linked upwards at once: the cycle check of the children walks it.
    node.parent = parent;
    const int self = int(m_out->nodes.size());
    m_out->nodes.push_back(std::move(node));
    m_detached.push_back(0);
    m_top.push_back(self);
    m_topStamp.push_back(0);
    const std::string& id = m_out->nodes.back().id;
    if (!id.empty())
        m_nodeById.emplace(id, self);
    if (!readChildren(c, depth, self))
        return false;
    BundleData::Node attachments;
    PendingSkin skin;
    if (!readAttachments(c, &attachments, &skin, true))
        return fail("truncated node record at offset " + std::to_string(start));
    if (attachments.model.hasSkin) {
        skin.node = self;
        m_skins.push_back(skin);
    }
    BundleData::Node& done = m_out->nodes[size_t(self)];
    done.camera = attachments.camera;
    done.light = attachments.light;
    done.hasModel = attachments.hasModel;
    done.model = std::move(attachments.model);
    *index = self;
    return true;
}

// A child already loaded is moved here rather than read again, unless that
// would make a node its own ancestor.
bool BundleReader::readChildren(Cursor& c, int depth, int parent)
{
    uint32_t count = 0;
    if (!c.count(&count, kMinNodeSize))
        return fail("child count exceeds the file at offset " + std::to_string(c.pos));
    for (uint32_t i = 0; i < count; ++i) {
        const int loaded = findLoaded(idAt(c.pos));
        if (loaded >= 0) {
            if (!skipNodeRecord(c, depth + 1))
                return false;
            if (!isAncestorOrSelf(loaded, parent))
                attach(loaded, parent);
            continue;
        }
        int child = -1;
        if (!readNodeRecord(c, depth + 1, parent, &child))
            return false;
        attach(child, parent);
    }
    return true;
}

bool BundleReader::skipNodeRecord(Cursor& c, int depth)
{
    if (depth > kMaxDepth)
        return fail("nodes nested more than " + std::to_string(kMaxDepth) + " deep");
    if (m_nodeRecordsLeft == 0)
        return fail("node records are referred to too often");
    --m_nodeRecordsLeft;
    const size_t start = c.pos;
    uint32_t type = 0;
    std::string parentId;
    uint32_t count = 0;
    if (!c.u32(&type) || !c.skip(m_versionMajor >= 4 ? 2 * kMatrixSize : kMatrixSize) || !c.string(&parentId)
        || !c.count(&count, kMinNodeSize))
        return fail("truncated node record at offset " + std::to_string(start));
    for (uint32_t i = 0; i < count; ++i)
        if (!skipNodeRecord(c, depth + 1))
            return false;
    BundleData::Node attachments;
    PendingSkin skin;
    if (!readAttachments(c, &attachments, &skin, false))
        return fail("truncated node record at offset " + std::to_string(start));
    return true;
}

// The camera, light and model blocks that end every node record; 'keep'
// false reads over them (a skipped record) without loading its mesh.
bool BundleReader::readAttachments(Cursor& c, BundleData::Node* node, PendingSkin* skin, bool keep)
{
    return readCamera(c, &node->camera) && readLight(c, &node->light)
        && readModel(c, &node->model, skin, &node->hasModel, keep);
}

bool BundleReader::readCamera(Cursor& c, BundleData::Camera* camera)
{
    uint8_t type = 0;
    if (!c.u8(&type))
        return false;
    if (type == BundleData::NO_CAMERA)
        return true;
    if (!c.f32(&camera->aspectRatio) || !c.f32(&camera->nearPlane) || !c.f32(&camera->farPlane))
        return false;
    if (type == BundleData::PERSPECTIVE) {
        if (!c.f32(&camera->fieldOfView))
            return false;
    } else if (type == BundleData::ORTHOGRAPHIC) {
        if (!c.f32(&camera->zoomX) || !c.f32(&camera->zoomY))
            return false;
    } else {
        return true; // an unknown type carries the common values only, and makes no camera
    }
    camera->type = BundleData::CameraType(type);
    return true;
}

bool BundleReader::readLight(Cursor& c, BundleData::Light* light)
{
    uint8_t type = 0;
    if (!c.u8(&type))
        return false;
    if (type == BundleData::NO_LIGHT)
        return true;
    if (!c.vector3(&light->color))
        return false;
    if (type == BundleData::POINT || type == BundleData::SPOT) {
        if (!c.f32(&light->range))
            return false;
    }
    if (type == BundleData::SPOT) {
        if (!c.f32(&light->innerAngle) || !c.f32(&light->outerAngle))
            return false;
    }
    if (type <= BundleData::SPOT)
        light->type = BundleData::LightType(type);
    return true;
}

// The whole block is read even when its mesh fails, so that what follows
// it is read from the right place.
bool BundleReader::readModel(Cursor& c, BundleData::Model* model, PendingSkin* skin, bool* hasModel, bool keep)
{
    std::string meshReference;
    if (!c.string(&meshReference))
        return false;
    if (meshReference.size() < 2 || meshReference[0] != '#')
        return true;
    if (keep)
        model->mesh = loadMesh(meshReference.substr(1));
    uint8_t skinFlag = 0;
    if (!c.u8(&skinFlag))
        return false;
    if (skinFlag && !readSkin(c, &model->skin, skin))
        return false;
    model->hasSkin = keep && model->mesh >= 0 && skinFlag && skin->jointCount > 0;
    if (keep && skinFlag && skin->jointCount == 0 && model->mesh >= 0)
        report(BundleProblem::SKIN, meshReference.substr(1), "a skin without joints is left out");
    if (!model->hasSkin)
        model->skin = BundleData::Skin();
    uint32_t count = 0;
    if (!c.count(&count, 4))
        return false;
    model->materials.resize(count);
    for (std::string& name : model->materials)
        if (!c.string(&name))
            return false;
    *hasModel = keep && model->mesh >= 0;
    return true;
}

// Joint ids and poses are read over and located; resolveJoints takes them.
bool BundleReader::readSkin(Cursor& c, BundleData::Skin* skin, PendingSkin* pending)
{
    if (!c.matrix(&skin->bindShape) || !c.count(&pending->jointCount, 4))
        return false;
    pending->jointIdsAt = c.pos;
    uint32_t poseValues = 0;
    if (!c.skipStrings(pending->jointCount) || !c.u32(&poseValues))
        return false;
    if (poseValues != 0) {
        pending->inverseBindPosesAt = c.pos;
        if (pending->jointCount > c.left() / kMatrixSize)
            return false;
        c.skip(pending->jointCount * kMatrixSize);
    }
    return true;
}

int BundleReader::loadMesh(const std::string& id)
{
    const ReferenceTable::Entry entry = findReference(id, BundleData::MESH);
    if (!entry.found()) {
        report(BundleProblem::MESH, id, "no mesh record has this id");
        return -1;
    }
    const auto known = m_meshAtOffset.find(entry.offset);
    if (known != m_meshAtOffset.end())
        return known->second;
    BundleData::Mesh mesh;
    mesh.id = id;
    Cursor c {*m_bytes, entry.offset};
    int index = -1;
    const std::string problem = readMesh(c, &mesh);
    if (problem.empty()) {
        index = int(m_out->meshes.size());
        m_out->meshes.push_back(std::move(mesh));
    } else {
        report(BundleProblem::MESH, id, problem);
    }
    m_meshAtOffset.emplace(entry.offset, index);
    return index;
}

std::string BundleReader::readMesh(Cursor& c, BundleData::Mesh* mesh)
{
    uint32_t elementCount = 0;
    if (!c.count(&elementCount, 8))
        return "the vertex format exceeds the file";
    if (elementCount == 0)
        return "the vertex format is empty";
    uint64_t vertexSize = 0;
    mesh->format.resize(elementCount);
    for (BundleData::VertexElement& e : mesh->format) {
        c.u32(&e.usage);
        c.u32(&e.size);
        if (e.usage == 0 || e.usage > kMaxUsage || e.size == 0 || e.size > 4)
            return "a vertex element has usage " + std::to_string(e.usage) + " and size " + std::to_string(e.size);
        vertexSize += uint64_t(e.size) * 4;
    }
    uint32_t vertexBytes = 0;
    if (!c.u32(&vertexBytes) || vertexBytes > c.left())
        return "the vertex data exceeds the file";
    if (vertexBytes == 0 || vertexSize > vertexBytes)
        return "the mesh holds no whole vertex";
    mesh->vertexSize = uint32_t(vertexSize);
    mesh->vertexCount = uint32_t(vertexBytes / vertexSize);
    mesh->vertices = m_bytes->data() + c.pos;
    c.skip(vertexBytes);
    float bounds[10];
    uint32_t partCount = 0;
    if (!c.floats(bounds, 10) || !c.count(&partCount, kMinPartSize))
        return "the mesh record is cut short";
    mesh->boundingBox = BoundingBox(Vector3(bounds[0], bounds[1], bounds[2]), Vector3(bounds[3], bounds[4], bounds[5]));
    mesh->boundingSphere = BoundingSphere(Vector3(bounds[6], bounds[7], bounds[8]), bounds[9]);
    for (uint32_t i = 0; i < partCount; ++i) {
        BundleData::Part part;
        part.index = i;
        bool keep = false;
        const std::string problem = readPart(c, *mesh, &part, &keep);
        if (!keep && problem.empty())
            return "part " + std::to_string(i) + " is cut short";
        if (keep)
            mesh->parts.push_back(part);
        else
            report(BundleProblem::PART, mesh->id + " part " + std::to_string(i), problem);
    }
    // Without parts the vertices would be drawn as one loose primitive.
    if (partCount && mesh->parts.empty())
        return "every part was left out";
    return std::string();
}

// A part whose indices cannot be drawn is read over and left out (with a
// reason); only a part cut short by the end of the file stops the mesh.
std::string BundleReader::readPart(Cursor& c, const BundleData::Mesh& mesh, BundleData::Part* part, bool* keep)
{
    uint32_t byteCount = 0;
    if (!c.u32(&part->primitiveType) || !c.u32(&part->indexFormat) || !c.u32(&byteCount) || byteCount > c.left())
        return std::string();
    const unsigned char* first = m_bytes->data() + c.pos;
    c.skip(byteCount);
    const uint32_t indexSize = Mesh::indexSize(part->indexFormat);
    if (indexSize == 0)
        return "index format " + std::to_string(part->indexFormat) + " is unknown";
    // The engine draws no line loops and no triangle fans.
    if (!Mesh::isPrimitiveType(part->primitiveType))
        return "primitive type " + std::to_string(part->primitiveType) + " cannot be drawn";
    part->indexCount = byteCount / indexSize;
    // An index past the vertices would make the driver read beyond the buffer.
    const uint32_t largest = part->indexCount ? MeshPart::largestIndex(first, indexSize, part->indexCount) : 0;
    if (part->indexCount && largest >= mesh.vertexCount) {
        return "index " + std::to_string(largest) + " is past the " + std::to_string(mesh.vertexCount) + " vertices";
    }
    part->indices = first;
    *keep = true;
    return std::string();
}

bool BundleReader::readAnimations(size_t offset)
{
    Cursor c {*m_bytes, offset};
    uint32_t count = 0;
    if (!c.count(&count, kMinAnimationSize))
        return fail("animation count exceeds the file at offset " + std::to_string(offset));
    for (uint32_t a = 0; a < count; ++a) {
        BundleData::Animation animation;
        uint32_t channels = 0;
        if (!c.string(&animation.id) || !c.count(&channels, kMinChannelSize))
            return fail("truncated animation record at offset " + std::to_string(offset));
        for (uint32_t i = 0; i < channels; ++i) {
            BundleData::Channel channel;
            std::string target;
            std::vector<float> unused;
            std::vector<uint32_t> interpolations;
            if (!c.string(&target) || !c.u32(&channel.attribute) || !c.array(&channel.keyTimes)
                || !c.array(&channel.keyValues) || !c.array(&unused) || !c.array(&unused) || !c.array(&interpolations))
                return fail("truncated animation channel at offset " + std::to_string(offset));
            channel.target = target.empty() ? -1 : findLoaded(target);
            const std::string problem = channelProblem(channel, target);
            if (problem.empty())
                animation.channels.push_back(std::move(channel));
            else
                report(BundleProblem::CHANNEL, target, "animation " + animation.id + ": " + problem);
        }
        if (!animation.channels.empty())
            m_out->animations.push_back(std::move(animation));
    }
    return true;
}

// Empty for a channel the engine can play: a node it drives, a property of
// it, and keys that fill the property along a time line that runs forward.
std::string BundleReader::channelProblem(const BundleData::Channel& channel, const std::string& target) const
{
    if (channel.target < 0)
        return target.empty() ? "the channel names no target" : "no node has this id";
    const int components = Transform::propertyComponentCount(int(channel.attribute));
    if (components <= 0)
        return "attribute " + std::to_string(channel.attribute) + " is not a property of a node";
    if (channel.keyTimes.empty())
        return "the channel has no keys";
    if (channel.keyValues.size() / size_t(components) < channel.keyTimes.size()) {
        return std::to_string(channel.keyValues.size()) + " values are too few for "
            + std::to_string(channel.keyTimes.size()) + " keys of " + std::to_string(components) + " components";
    }
    if (!Animation::keyTimesInOrder(channel.keyTimes.data(), unsigned(channel.keyTimes.size())))
        return "the key times run backwards";
    return std::string();
}

// A node from the table, read with its subtree outside the scene tree;
// one already loaded is returned as it is.
int BundleReader::loadDetachedNode(const std::string& id)
{
    const int loaded = findLoaded(id);
    if (loaded >= 0)
        return loaded;
    const ReferenceTable::Entry entry = findReference(id, BundleData::NODE);
    if (!entry.found())
        return -1;
    Cursor c {*m_bytes, entry.offset};
    int node = -1;
    if (!readNodeRecord(c, 0, -1, &node))
        return -1;
    m_detached[size_t(node)] = 1;
    m_out->detachedRoots.push_back(node);
    return node;
}

// A skin binds every joint it names or none: one that names a missing node
// would leave its vertices in the bind pose while the others move, tearing
// the mesh apart. The first missing joint tells it; the rest go unread.
bool BundleReader::resolveJoints()
{
    // Resolving reads nodes, whose own skins join the list.
    for (size_t s = 0; s < m_skins.size(); ++s) {
        const PendingSkin skin = m_skins[s];
        BundleData::Model& model = m_out->nodes[size_t(skin.node)].model;
        const std::string missing = firstMissingJoint(skin);
        if (!missing.empty()) {
            report(BundleProblem::SKIN, m_out->meshes[size_t(model.mesh)].id,
                   missing + ": the skin of node " + m_out->nodes[size_t(skin.node)].id + " is left out");
            model.hasSkin = false;
            model.skin = BundleData::Skin();
            continue;
        }
        BundleData::Skin resolved;
        takeJointIds(skin, &resolved);
        resolved.joints.reserve(resolved.jointIds.size());
        for (const std::string& id : resolved.jointIds) {
            resolved.joints.push_back(resolveJoint(id));
            if (!m_error.empty())
                return false;
        }
        BundleData::Skin& kept = m_out->nodes[size_t(skin.node)].model.skin;
        resolved.bindShape = kept.bindShape;
        kept = std::move(resolved);
    }
    return true;
}

std::string BundleReader::firstMissingJoint(const PendingSkin& skin)
{
    Cursor c {*m_bytes, skin.jointIdsAt};
    for (uint32_t j = 0; j < skin.jointCount; ++j) {
        uint32_t size = 0;
        c.u32(&size);
        const std::string_view reference(reinterpret_cast<const char*>(m_bytes->data() + c.pos), size);
        c.skip(size);
        const auto place = [&] { return "joint " + std::to_string(j + 1) + " of " + std::to_string(skin.jointCount); };
        if (reference.size() < 2 || reference[0] != '#')
            return place() + ", \"" + std::string(reference) + "\", is not a node reference";
        const std::string_view id = reference.substr(1);
        if (findLoaded(std::string(id)) < 0 && !findReference(id, BundleData::NODE).found())
            return place() + ", \"" + std::string(id) + "\", names no node";
    }
    return std::string();
}

void BundleReader::takeJointIds(const PendingSkin& skin, BundleData::Skin* out) const
{
    Cursor c {*m_bytes, skin.jointIdsAt};
    out->jointIds.resize(skin.jointCount);
    for (std::string& id : out->jointIds)
        c.string(&id);
    if (skin.inverseBindPosesAt == 0)
        return;
    c.pos = skin.inverseBindPosesAt;
    out->inverseBindPoses.resize(skin.jointCount);
    for (Matrix& m : out->inverseBindPoses)
        c.matrix(&m);
}

// The node a skin's joint reference names, with the ancestors its record
// names; -1 when reading them fails the file.
int BundleReader::resolveJoint(const std::string& reference)
{
    const int joint = loadDetachedNode(reference.substr(1));
    return joint >= 0 && climbToLoadedParents(joint) ? joint : -1;
}

// A joint read on its own learns its ancestors from the parent ids in the
// records; each step loads a node not loaded before, so the walk ends.
bool BundleReader::climbToLoadedParents(int joint)
{
    int top = topOf(joint);
    while (m_error.empty() && !isSceneRoot(top)) {
        const ReferenceTable::Entry entry = findReference(m_out->nodes[size_t(top)].id, BundleData::NODE);
        if (!entry.found())
            break;
        Cursor c {*m_bytes, entry.offset + 4 + (m_versionMajor >= 4 ? 2 : 1) * kMatrixSize};
        std::string parentId;
        if (!c.string(&parentId) || parentId.empty() || findLoaded(parentId) >= 0)
            break;
        // The parent's record has claimed the old top when it lists it as a child.
        if (loadDetachedNode(parentId) < 0 || m_out->nodes[size_t(top)].parent < 0)
            break;
        top = topOf(top);
    }
    return m_error.empty();
}

void BundleReader::attach(int child, int parent)
{
    m_out->nodes[size_t(child)].parent = parent;
    m_out->nodes[size_t(parent)].children.push_back(child);
    ++m_moves;
}

bool BundleReader::isAncestorOrSelf(int candidate, int node) const
{
    for (int n = node; n >= 0; n = m_out->nodes[size_t(n)].parent)
        if (n == candidate)
            return true;
    return false;
}

bool BundleReader::isSceneRoot(int node) const
{
    return m_out->nodes[size_t(node)].parent < 0 && !m_detached[size_t(node)];
}

// Answers are remembered until a node moves; the walks together may take a
// bounded number of steps, beyond which the file is refused.
int BundleReader::topOf(int node)
{
    int top = node;
    while (m_topStamp[size_t(top)] != m_moves && m_out->nodes[size_t(top)].parent >= 0) {
        if (m_walkStepsLeft == 0) {
            fail("the joint hierarchy is too deep to resolve");
            return top;
        }
        --m_walkStepsLeft;
        top = m_out->nodes[size_t(top)].parent;
    }
    if (m_topStamp[size_t(top)] == m_moves)
        top = m_top[size_t(top)];
    for (int n = node; m_topStamp[size_t(n)] != m_moves; n = m_out->nodes[size_t(n)].parent) {
        m_top[size_t(n)] = top;
        m_topStamp[size_t(n)] = m_moves;
        if (n == top)
            break;
    }
    return top;
}

// Drops the entries of nodes that moved elsewhere from the child and root
// lists; a node listed twice under one parent keeps its last place.
void BundleReader::settleLists()
{
    std::vector<BundleData::Node>& nodes = m_out->nodes;
    std::vector<char> placed(nodes.size(), 0);
    const auto settle = [&](std::vector<int>& list, int parent, bool detached) {
        std::vector<int> kept;
        for (auto it = list.rbegin(); it != list.rend(); ++it) {
            const size_t n = size_t(*it);
            if (nodes[n].parent != parent || placed[n] || (parent < 0 && bool(m_detached[n]) != detached))
                continue;
            placed[n] = 1;
            kept.push_back(int(n));
        }
        list.assign(kept.rbegin(), kept.rend());
    };
    for (size_t n = 0; n < nodes.size(); ++n)
        settle(nodes[n].children, int(n), false);
    settle(m_out->roots, -1, false);
    settle(m_out->detachedRoots, -1, true);
}

int BundleReader::findLoaded(const std::string& id) const
{
    if (id.empty())
        return -1;
    const auto found = m_nodeById.find(id);
    return found == m_nodeById.end() ? -1 : found->second;
}

} // namespace engine
