#include "FbxLegacyTranslator.h"

#include "FbxLegacyAnimation.h"
#include "FbxLegacyGeometry.h"
#include "FbxLegacyProperties.h"
#include "FbxNodeValues.h"

#include <algorithm>
#include <set>

namespace {

using V = FbxNodeValues;
using P = FbxLegacyProperties;

constexpr unsigned kNewVersion = 7500;

std::string decodeBase64(const std::string& text)
{
    std::string bytes;
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        int value = -1;
        if (c >= 'A' && c <= 'Z')
            value = c - 'A';
        else if (c >= 'a' && c <= 'z')
            value = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            value = c - '0' + 52;
        else if (c == '+')
            value = 62;
        else if (c == '/')
            value = 63;
        if (value < 0)
            continue; // padding, line breaks and separators
        buffer = (buffer << 6) | unsigned(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<char>((buffer >> bits) & 0xFF));
        }
    }
    return bytes;
}

// The class of a Model: the old files' second value, or for FBX 5 what the model holds.
std::string modelClass(const FbxNode& model)
{
    std::string type = V::text(model, 1);
    if (type.empty()) {
        const FbxNode* flags = model.child("TypeFlags");
        const FbxNode* typeField = model.child("Type");
        type = model.child("Vertices") ? "Mesh"
            : flags                    ? V::text(*flags, 0)
            : typeField                ? V::text(*typeField, 0)
                                       : "Null";
    }
    if (type == "Limb" || type == "Skeleton")
        return "LimbNode";
    return type;
}

// FBX 5 keeps a model's transform as the defaults of its own animation channels.
void addChannelTransform(const FbxNode& model, FbxNode& properties)
{
    const FbxNode* transform = nullptr;
    for (const FbxNode* channel : V::children(model, "Channel"))
        if (V::text(*channel, 0) == "Transform")
            transform = channel;
    if (!transform)
        return;
    const std::pair<const char*, const char*> kChannels[]
        = {{"T", "Lcl Translation"}, {"R", "Lcl Rotation"}, {"S", "Lcl Scaling"}};
    for (const auto& channel : kChannels) {
        for (const FbxNode* c : V::children(*transform, "Channel")) {
            if (V::text(*c, 0) != channel.first)
                continue;
            double xyz[3] = {0, 0, 0};
            if (channel.first[0] == 'S')
                xyz[0] = xyz[1] = xyz[2] = 1;
            for (const FbxNode* axis : V::children(*c, "Channel")) {
                const std::string letter = V::text(*axis, 0);
                const FbxNode* value = axis->child("Default");
                if (letter.size() == 1 && letter[0] >= 'X' && letter[0] <= 'Z' && value)
                    xyz[letter[0] - 'X'] = V::number(*value, 0, xyz[letter[0] - 'X']);
            }
            P::set(properties, P::vector(channel.second, channel.second, xyz[0], xyz[1], xyz[2]));
        }
    }
}

FbxNode copyTexts(const FbxNode& from, const std::string& name)
{
    const FbxNode* field = from.child(name);
    return V::make(name, {V::makeText(field ? V::text(*field, 0) : std::string())});
}

// A 4x4 matrix field of `owner`; the identity where it is missing or not 16 numbers.
FbxNode matrix(const FbxNode& owner, const std::string& name)
{
    const FbxNode* from = owner.child(name);
    std::vector<double> values = from ? V::reals(*from) : std::vector<double>();
    if (values.size() != 16)
        values = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    return V::make(name, {V::makeDoubleArray(values)});
}

} // namespace

FbxLegacyTranslator::FbxLegacyTranslator(const FbxDocument& old)
    : m_old(old)
{
}

FbxLegacyTranslator::Translation FbxLegacyTranslator::translate(const FbxDocument& old)
{
    return FbxLegacyTranslator(old).run();
}

std::vector<const FbxNode*> FbxLegacyTranslator::oldObjects() const
{
    if (const FbxNode* objects = m_old.section("Objects")) {
        std::vector<const FbxNode*> list;
        for (const FbxNode& object : objects->children)
            list.push_back(&object);
        return list;
    }
    // FBX 5 keeps its objects at the top level.
    static const std::set<std::string> kObjectNames = {"Model", "Material", "Texture", "Video", "Deformer", "Pose"};
    std::vector<const FbxNode*> list;
    for (const FbxNode& node : m_old.nodes)
        if (kObjectNames.count(node.name))
            list.push_back(&node);
    return list;
}

FbxNode FbxLegacyTranslator::header() const
{
    FbxNode header = V::make(
        "FBXHeaderExtension", {},
        {V::make("FBXHeaderVersion", {V::makeInt32(1003)}), V::make("FBXVersion", {V::makeInt32(kNewVersion)})});
    const FbxNode* old = m_old.section("FBXHeaderExtension");
    const FbxNode* creator = old ? old->child("Creator") : nullptr;
    if (creator && !V::text(*creator, 0).empty())
        header.children.push_back(V::make("Creator", {V::makeText(V::text(*creator, 0))}));
    return header;
}

FbxNode FbxLegacyTranslator::globalSettings() const
{
    // What an FBX file means when it does not say: Y up, Z to the front, X across, centimetres.
    FbxNode properties = V::make("Properties70");
    const std::pair<const char*, int> kAxes[] = {{"UpAxis", 1},        {"UpAxisSign", 1}, {"FrontAxis", 2},
                                                 {"FrontAxisSign", 1}, {"CoordAxis", 0},  {"CoordAxisSign", 1}};
    for (const auto& axis : kAxes)
        P::set(properties, P::integer(axis.first, "int", axis.second));
    P::set(properties,
           V::make("P",
                   {V::makeText("UnitScaleFactor"), V::makeText("double"), V::makeText("Number"), V::makeText(""),
                    V::makeDouble(1.0)}));
    const FbxNode* objects = m_old.section("Objects");
    const FbxNode* settings = objects ? objects->child("GlobalSettings") : nullptr;
    const FbxNode* old = settings ? settings->child("Properties60") : nullptr;
    for (FbxNode& p : P::translate(old).children)
        P::set(properties, std::move(p));
    return V::make("GlobalSettings", {}, {V::make("Version", {V::makeInt32(1000)}), std::move(properties)});
}

void FbxLegacyTranslator::addModelAttribute(const FbxNode& model, const std::string& type, int64_t modelId,
                                            const FbxNode& properties)
{
    FbxNode attributeProperties = properties;
    if (type == "Camera") {
        // The old cameras keep where they stand and look as fields of the model.
        const std::pair<const char*, const char*> kFields[]
            = {{"Position", "Position"}, {"Up", "UpVector"}, {"LookAt", "InterestPosition"}};
        for (const auto& field : kFields) {
            const FbxNode* old = model.child(field.first);
            const std::vector<double> xyz = old ? V::reals(*old) : std::vector<double>();
            if (xyz.size() >= 3)
                P::set(attributeProperties, P::vector(field.second, "Vector", xyz[0], xyz[1], xyz[2]));
        }
    }
    const std::string flags = type == "LimbNode" ? "Skeleton" : type;
    const int64_t id = m_sink.add(
        V::make("NodeAttribute",
                {V::makeInt64(0),
                 V::makeText(FbxObjectSink::storedName(FbxObjectSink::bareName(V::text(model, 0)), "NodeAttribute")),
                 V::makeText(type)},
                {std::move(attributeProperties), V::make("TypeFlags", {V::makeText(flags)})}));
    m_kinds[id] = "NodeAttribute";
    m_sink.connect(id, modelId);
}

void FbxLegacyTranslator::addModel(const FbxNode& model)
{
    const std::string key = FbxObjectSink::objectKey(V::text(model, 0), "Model");
    const std::string name = FbxObjectSink::bareName(key);
    std::string type = modelClass(model);
    FbxNode properties = P::translate(model.child("Properties60"));
    if (!model.child("Properties60"))
        addChannelTransform(model, properties);
    const bool mesh = type == "Mesh" && model.child("Vertices");
    if (type == "Mesh" && !mesh)
        type = "Null";
    if (type == "Nurb" || type == "Patch" || type == "NurbsCurve" || type == "NurbsSurface") {
        m_sink.leaveOut("NURBS geometry of", key);
        type = "Null";
    }
    const int64_t id = m_sink.add(
        V::make("Model", {V::makeInt64(0), V::makeText(FbxObjectSink::storedName(name, "Model")), V::makeText(type)},
                {V::make("Version", {V::makeInt32(232)}), properties, V::make("Culling", {V::makeText("CullingOff")})}),
        key);
    m_kinds[id] = "Model";
    ModelRecord& record = m_models[id];
    if (mesh) {
        FbxLegacyGeometry::Mesh geometry = FbxLegacyGeometry::translate(model);
        geometry.geometry.properties[1] = V::makeText(FbxObjectSink::storedName(name, "Geometry"));
        record.geometry = m_sink.add(std::move(geometry.geometry));
        m_kinds[record.geometry] = "Geometry";
        record.materialTextures = geometry.materialTextures;
        record.hasTextureLayer = geometry.hasTextureLayer;
        for (const std::string& part : geometry.leftOut)
            m_sink.leaveOut(part + " of", key);
        m_sink.connect(record.geometry, id);
    } else if (type == "Camera" || type == "Light" || type == "LimbNode") {
        addModelAttribute(model, type, id, properties);
    }
}

void FbxLegacyTranslator::addMaterial(const FbxNode& material)
{
    const std::string key = FbxObjectSink::objectKey(V::text(material, 0), "Material");
    const FbxNode* shading = material.child("ShadingModel");
    const int64_t id = m_sink.add(
        V::make("Material",
                {V::makeInt64(0), V::makeText(FbxObjectSink::storedName(FbxObjectSink::bareName(key), "Material")),
                 V::makeText("")},
                {V::make("Version", {V::makeInt32(102)}),
                 V::make("ShadingModel", {V::makeText(shading ? V::text(*shading, 0) : "phong")}),
                 V::make("MultiLayer", {V::makeInt32(0)}), P::translate(material.child("Properties60"))}),
        key);
    m_kinds[id] = "Material";
}

void FbxLegacyTranslator::addTexture(const FbxNode& texture)
{
    const std::string key = FbxObjectSink::objectKey(V::text(texture, 0), "Texture");
    const std::string name = FbxObjectSink::storedName(FbxObjectSink::bareName(key), "Texture");
    FbxNode node = V::make("Texture", {V::makeInt64(0), V::makeText(name), V::makeText("")},
                           {V::make("Type", {V::makeText("TextureVideoClip")}), V::make("Version", {V::makeInt32(202)}),
                            V::make("TextureName", {V::makeText(name)}), P::translate(texture.child("Properties60")),
                            copyTexts(texture, "FileName"), copyTexts(texture, "RelativeFilename")});
    if (const FbxNode* media = texture.child("Media"))
        node.children.push_back(V::make(
            "Media", {V::makeText(FbxObjectSink::storedName(FbxObjectSink::bareName(V::text(*media, 0)), "Video"))}));
    for (const char* pair : {"ModelUVTranslation", "ModelUVScaling"}) {
        const FbxNode* field = texture.child(pair);
        const std::vector<double> uv = field ? V::reals(*field) : std::vector<double>();
        if (uv.size() >= 2)
            node.children.push_back(V::make(pair, {V::makeDouble(uv[0]), V::makeDouble(uv[1])}));
    }
    const FbxNode* cropping = texture.child("Cropping");
    const std::vector<int64_t> crop = cropping ? V::integers(*cropping) : std::vector<int64_t>();
    if (crop.size() >= 4)
        node.children.push_back(V::make(
            "Cropping", {V::makeInt32(crop[0]), V::makeInt32(crop[1]), V::makeInt32(crop[2]), V::makeInt32(crop[3])}));
    const int64_t id = m_sink.add(std::move(node), key);
    m_kinds[id] = "Texture";
}

void FbxLegacyTranslator::addVideo(const FbxNode& video)
{
    const std::string key = FbxObjectSink::objectKey(V::text(video, 0), "Video");
    FbxNode node = V::make(
        "Video",
        {V::makeInt64(0), V::makeText(FbxObjectSink::storedName(FbxObjectSink::bareName(key), "Video")),
         V::makeText("Clip")},
        {V::make("Type", {V::makeText("Clip")}), P::translate(video.child("Properties60")),
         copyTexts(video, video.child("Filename") ? "Filename" : "FileName"), copyTexts(video, "RelativeFilename")});
    if (const FbxNode* content = video.child("Content")) {
        // Binary files embed the bytes; ASCII files embed them as base64 text, possibly in pieces.
        std::string bytes;
        std::string text;
        for (const FbxProperty& p : content->properties) {
            if (p.type == 'R')
                bytes += p.text;
            else if (p.type == 'S')
                text += p.text;
        }
        if (bytes.empty())
            bytes = decodeBase64(text);
        if (!bytes.empty())
            node.children.push_back(V::make("Content", {V::makeRaw(bytes)}));
    }
    const int64_t id = m_sink.add(std::move(node), key);
    m_kinds[id] = "Video";
}

void FbxLegacyTranslator::addDeformer(const FbxNode& deformer)
{
    const std::string type = V::text(deformer, 1);
    const std::string key
        = FbxObjectSink::objectKey(V::text(deformer, 0), type == "Cluster" ? "SubDeformer" : "Deformer");
    const std::string name = FbxObjectSink::bareName(key);
    int64_t id = -1;
    if (type == "Skin") {
        id = m_sink.add(
            V::make("Deformer",
                    {V::makeInt64(0), V::makeText(FbxObjectSink::storedName(name, "Deformer")), V::makeText("Skin")},
                    {V::make("Version", {V::makeInt32(101)}), V::make("Link_DeformAcuracy", {V::makeDouble(50.0)})}),
            key);
    } else if (type == "Cluster") {
        const FbxNode* indexes = deformer.child("Indexes");
        const FbxNode* weights = deformer.child("Weights");
        id = m_sink.add(
            V::make(
                "Deformer",
                {V::makeInt64(0), V::makeText(FbxObjectSink::storedName(name, "SubDeformer")), V::makeText("Cluster")},
                {V::make("Version", {V::makeInt32(100)}),
                 V::make("Indexes", {V::makeInt32Array(indexes ? V::integers(*indexes) : std::vector<int64_t>())}),
                 V::make("Weights", {V::makeDoubleArray(weights ? V::reals(*weights) : std::vector<double>())}),
                 matrix(deformer, "Transform"), matrix(deformer, "TransformLink")}),
            key);
    } else {
        m_sink.leaveOut("deformer", key + " (" + type + ")");
        return;
    }
    m_kinds[id] = type == "Skin" ? "Skin" : "Cluster";
}

void FbxLegacyTranslator::addPose(const FbxNode& pose)
{
    const std::string key = FbxObjectSink::objectKey(V::text(pose, 0), "Pose");
    FbxNode node
        = V::make("Pose",
                  {V::makeInt64(0), V::makeText(FbxObjectSink::storedName(FbxObjectSink::bareName(key), "Pose")),
                   V::makeText(V::text(pose, 1))},
                  {V::make("Type", {V::makeText(V::text(pose, 1))}), V::make("Version", {V::makeInt32(100)})});
    int64_t count = 0;
    for (const FbxNode* poseNode : V::children(pose, "PoseNode")) {
        const FbxNode* target = poseNode->child("Node");
        const int64_t id = target ? m_sink.idOf(FbxObjectSink::objectKey(V::text(*target, 0), "Model")) : -1;
        if (id < 0)
            continue; // a pose of a node the file does not hold says nothing
        node.children.push_back(
            V::make("PoseNode", {}, {V::make("Node", {V::makeInt64(id)}), matrix(*poseNode, "Matrix")}));
        ++count;
    }
    node.children.insert(node.children.begin() + 2, V::make("NbPoseNodes", {V::makeInt32(count)}));
    m_kinds[m_sink.add(std::move(node), key)] = "Pose";
}

void FbxLegacyTranslator::addObject(const FbxNode& object)
{
    if (object.name == "Model")
        addModel(object);
    else if (object.name == "Material")
        addMaterial(object);
    else if (object.name == "Texture")
        addTexture(object);
    else if (object.name == "Video")
        addVideo(object);
    else if (object.name == "Deformer")
        addDeformer(object);
    else if (object.name != "Pose" && object.name != "GlobalSettings" && object.name != "SceneInfo")
        m_sink.leaveOut(object.name, FbxObjectSink::bareName(V::text(object, 0)));
}

void FbxLegacyTranslator::connectByName(const FbxNode& connect)
{
    const std::string type = V::text(connect, 0);
    const std::string sourceKey = FbxObjectSink::objectKey(V::text(connect, 1));
    const std::string destinationKey = FbxObjectSink::objectKey(V::text(connect, 2));
    const int64_t source = m_sink.idOf(sourceKey);
    int64_t destination = destinationKey == "Model::Scene" ? FbxObjectSink::kRootId : m_sink.idOf(destinationKey);
    if (source < 0 || destination < 0) {
        // Connections to what this translation drops on purpose are not news; others name the gap.
        m_sink.leaveOut("connection", sourceKey + " to " + destinationKey);
        return;
    }
    const std::string& sourceKind = m_kinds[source];
    const std::string destinationKind = destination == FbxObjectSink::kRootId ? "Model" : m_kinds[destination];
    if (type == "OP") {
        m_sink.connect(source, destination, V::text(connect, 3));
        return;
    }
    if (sourceKind == "Model" && destinationKind == "Model" && !attachModel(source, destination)) {
        m_sink.leaveOut("connection", sourceKey + " to " + destinationKey + " (a second parent or a loop)");
        return;
    }
    if (destinationKind == "Model" && destination != FbxObjectSink::kRootId) {
        ModelRecord& model = m_models[destination];
        if (sourceKind == "Texture") {
            model.textures.push_back(source); // drawn through the model's materials, see connectTextures
            return;
        }
        if (sourceKind == "Material")
            model.materials.push_back(source);
        if (sourceKind == "Skin") {
            // Skins deform a model's geometry in the newer layout.
            if (model.geometry < 0) {
                m_sink.leaveOut("skin", sourceKey + " of a model without a mesh");
                return;
            }
            destination = model.geometry;
        }
    }
    m_sink.connect(source, destination);
}

bool FbxLegacyTranslator::attachModel(int64_t child, int64_t parent)
{
    // The importer walks the hierarchy recursively: a node that is its own ancestor never ends.
    if (m_parents.count(child))
        return false;
    for (int64_t at = parent; at != FbxObjectSink::kRootId;) {
        if (at == child)
            return false;
        const auto up = m_parents.find(at);
        if (up == m_parents.end())
            break;
        at = up->second;
    }
    m_parents[child] = parent;
    return true;
}

void FbxLegacyTranslator::connectChildrenLists(const std::vector<const FbxNode*>& objects)
{
    // FBX 5 lists each model's children by name; models nobody lists hang from the scene.
    for (const FbxNode* object : objects) {
        const FbxNode* list = object->name == "Model" ? object->child("Children") : nullptr;
        const int64_t parent = m_sink.idOf(FbxObjectSink::objectKey(V::text(*object, 0), "Model"));
        for (size_t i = 0; list && i < list->properties.size(); ++i) {
            const int64_t child = m_sink.idOf(FbxObjectSink::objectKey(V::text(*list, i), "Model"));
            if (child < 0 || !attachModel(child, parent)) {
                m_sink.leaveOut("child", V::text(*list, i));
                continue;
            }
            m_sink.connect(child, parent);
        }
    }
    for (const auto& model : m_models)
        if (!m_parents.count(model.first))
            m_sink.connect(model.first, FbxObjectSink::kRootId);
}

void FbxLegacyTranslator::connectTextures()
{
    for (const auto& entry : m_models) {
        const ModelRecord& model = entry.second;
        if (model.textures.empty())
            continue;
        std::vector<std::pair<int, int>> pairs = model.materialTextures;
        if (!model.hasTextureLayer) // without a texture layer the first texture covers the whole model
            for (size_t m = 0; m < model.materials.size(); ++m)
                pairs.push_back({int(m), 0});
        if (model.materials.empty())
            m_sink.leaveOut("texture of a model without material",
                            FbxObjectSink::bareName(V::text(*m_sink.object(entry.first), 1)));
        std::set<int64_t> textured;
        for (const auto& pair : pairs) {
            if (size_t(pair.first) >= model.materials.size() || size_t(pair.second) >= model.textures.size())
                continue;
            if (textured.insert(model.materials[size_t(pair.first)]).second)
                m_sink.connect(model.textures[size_t(pair.second)], model.materials[size_t(pair.first)],
                               "DiffuseColor");
        }
    }
}

FbxLegacyTranslator::Translation FbxLegacyTranslator::run()
{
    const std::vector<const FbxNode*> objects = oldObjects();
    for (const FbxNode* object : objects)
        addObject(*object);
    for (const FbxNode* object : objects)
        if (object->name == "Pose")
            addPose(*object);
    if (const FbxNode* connections = m_old.section("Connections"))
        for (const FbxNode* connect : V::children(*connections, "Connect"))
            connectByName(*connect);
    else
        connectChildrenLists(objects);
    connectTextures();
    for (const auto& model : m_models)
        if (model.second.materials.empty() && model.second.geometry >= 0)
            FbxLegacyGeometry::dropMaterialLayer(*m_sink.object(model.second.geometry));
    if (const FbxNode* takes = m_old.section("Takes"))
        FbxLegacyAnimation::translate(*takes, m_sink);

    Translation result;
    result.document.version = kNewVersion;
    result.document.binary = true;
    result.document.nodes.push_back(header());
    result.document.nodes.push_back(globalSettings());
    // The importer reads property templates from here; the old files' defaults are in each object.
    result.document.nodes.push_back(V::make("Definitions", {}, {V::make("Version", {V::makeInt32(100)})}));
    result.leftOut = m_sink.leftOut();
    result.document.nodes.push_back(V::make("Objects", {}, m_sink.takeObjects()));
    result.document.nodes.push_back(V::make("Connections", {}, m_sink.takeConnections()));
    return result;
}

std::string FbxLegacyTranslator::describe(const std::vector<FbxObjectSink::Part>& leftOut)
{
    std::vector<std::string> parts;
    for (const FbxObjectSink::Part& part : leftOut) {
        const std::string text = part.kind + " \"" + part.name + "\"";
        if (std::find(parts.begin(), parts.end(), text) == parts.end())
            parts.push_back(text);
    }
    const size_t kListed = 8;
    std::string text;
    for (size_t i = 0; i < parts.size() && i < kListed; ++i)
        text += (i ? "; " : "") + parts[i];
    if (parts.size() > kListed)
        text += "; and " + std::to_string(parts.size() - kListed) + " more";
    return text;
}
