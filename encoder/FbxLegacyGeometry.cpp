#include "FbxLegacyGeometry.h"

#include "FbxNodeValues.h"

#include <algorithm>
#include <set>

namespace {

using V = FbxNodeValues;

bool isLayerElement(const std::string& name) { return name.rfind("LayerElement", 0) == 0; }

// Arrays of indices and flags; every other numeric array of a layer holds coordinates.
bool holdsIntegers(const std::string& name)
{
    static const std::set<std::string> kIntegers
        = {"Materials", "Smoothing", "PolygonGroup", "Visibility", "TextureId", "Hole"};
    const bool index = name.size() > 5 && name.compare(name.size() - 5, 5, "Index") == 0;
    return index || kIntegers.count(name) > 0;
}

FbxNode integerField(const std::string& name, const FbxNode& old, int64_t fallback)
{
    return V::make(name, {V::makeInt32(static_cast<int64_t>(V::number(old, 0, double(fallback))))});
}

size_t cornerCount(const std::vector<int64_t>& polygonVertexIndex) { return polygonVertexIndex.size(); }

} // namespace

FbxNode FbxLegacyGeometry::layerElement(const FbxNode& old)
{
    FbxNode element = V::make(old.name, {V::makeInt32(static_cast<int64_t>(V::number(old, 0, 0)))});
    bool hasMapping = false;
    bool hasReference = false;
    for (const FbxNode& field : old.children) {
        const bool textOnly
            = !field.properties.empty() && std::all_of(field.properties.begin(), field.properties.end(), V::isText);
        if (textOnly) {
            element.children.push_back(V::make(field.name, field.properties));
            hasMapping = hasMapping || field.name == "MappingInformationType";
            hasReference = hasReference || field.name == "ReferenceInformationType";
        } else if (field.name == "Version") {
            element.children.push_back(integerField("Version", field, 101));
        } else if (field.name == "TextureAlpha") {
            element.children.push_back(V::make(field.name, {V::makeDouble(V::number(field, 0, 1.0))}));
        } else if (holdsIntegers(field.name)) {
            element.children.push_back(V::make(field.name, {V::makeInt32Array(V::integers(field))}));
        } else if (!field.properties.empty()) {
            element.children.push_back(V::make(field.name, {V::makeDoubleArray(V::reals(field))}));
        }
    }
    // The importer refuses the whole file when a used layer lacks either; these are the old readers' defaults.
    if (!hasMapping)
        element.children.push_back(V::make("MappingInformationType", {V::makeText("ByPolygonVertex")}));
    if (!hasReference)
        element.children.push_back(V::make("ReferenceInformationType", {V::makeText("Direct")}));
    return element;
}

FbxNode FbxLegacyGeometry::layer(const FbxNode& old)
{
    FbxNode layer = V::make("Layer", {V::makeInt32(static_cast<int64_t>(V::number(old, 0, 0)))},
                            {V::make("Version", {V::makeInt32(100)})});
    for (const FbxNode* entry : V::children(old, "LayerElement")) {
        const FbxNode* type = entry->child("Type");
        const FbxNode* index = entry->child("TypedIndex");
        if (!type || V::text(*type, 0).empty())
            continue;
        layer.children.push_back(V::make(
            "LayerElement", {},
            {V::make("Type", {V::makeText(V::text(*type, 0))}),
             V::make("TypedIndex", {V::makeInt32(index ? static_cast<int64_t>(V::number(*index, 0, 0)) : 0)})}));
    }
    return layer;
}

void FbxLegacyGeometry::addVersion5Layers(const FbxNode& model, FbxNode& geometry, size_t corners)
{
    FbxNode layer = V::make("Layer", {V::makeInt32(0)}, {V::make("Version", {V::makeInt32(100)})});
    auto use = [&layer, &geometry](FbxNode element) {
        layer.children.push_back(
            V::make("LayerElement", {},
                    {V::make("Type", {V::makeText(element.name)}), V::make("TypedIndex", {V::makeInt32(0)})}));
        geometry.children.push_back(std::move(element));
    };
    auto element = [](const std::string& name, const std::string& mapping, const std::string& reference) {
        return V::make(name, {V::makeInt32(0)},
                       {V::make("Version", {V::makeInt32(101)}), V::make("Name", {V::makeText("")}),
                        V::make("MappingInformationType", {V::makeText(mapping)}),
                        V::make("ReferenceInformationType", {V::makeText(reference)})});
    };
    if (const FbxNode* normals = model.child("Normals")) {
        FbxNode e = element("LayerElementNormal", "ByVertice", "Direct");
        e.children.push_back(V::make("Normals", {V::makeDoubleArray(V::reals(*normals))}));
        use(std::move(e));
    }
    const FbxNode* uvInfo = model.child("GeometryUVInfo");
    const FbxNode* uvs = uvInfo ? uvInfo->child("TextureUV") : nullptr;
    if (uvs) {
        const FbxNode* uvIndex = uvInfo->child("TextureUVVerticeIndex");
        const std::vector<int64_t> indices = uvIndex ? V::integers(*uvIndex) : std::vector<int64_t>();
        // FBX 5 files say "ByPolygon" for what is one UV per polygon corner.
        const bool perCorner = indices.size() == corners;
        FbxNode e = element("LayerElementUV", perCorner ? "ByPolygonVertex" : "ByVertice",
                            indices.empty() ? "Direct" : "IndexToDirect");
        e.children.push_back(V::make("UV", {V::makeDoubleArray(V::reals(*uvs))}));
        if (!indices.empty())
            e.children.push_back(V::make("UVIndex", {V::makeInt32Array(indices)}));
        use(std::move(e));
    }
    const FbxNode* materials = model.child("Materials");
    if (materials && !V::integers(*materials).empty()) {
        const FbxNode* assignation = model.child("MaterialAssignation");
        const std::string mapping = assignation ? V::text(*assignation, 0) : "AllSame";
        FbxNode e = element("LayerElementMaterial", mapping.empty() ? "AllSame" : mapping, "IndexToDirect");
        e.children.push_back(V::make("Materials", {V::makeInt32Array(V::integers(*materials))}));
        use(std::move(e));
    }
    if (layer.children.size() > 1)
        geometry.children.push_back(std::move(layer));
}

void FbxLegacyGeometry::addMissingLayer(FbxNode& geometry)
{
    // Layer elements that no layer lists would be ignored; the old readers used the first of each kind.
    FbxNode layer = V::make("Layer", {V::makeInt32(0)}, {V::make("Version", {V::makeInt32(100)})});
    std::set<std::string> listed;
    for (const FbxNode& element : geometry.children)
        if (element.name == "Layer")
            return;
        else if (isLayerElement(element.name) && listed.insert(element.name).second)
            layer.children.push_back(V::make(
                "LayerElement", {},
                {V::make("Type", {V::makeText(element.name)}), V::make("TypedIndex", {element.properties.front()})}));
    if (!listed.empty())
        geometry.children.push_back(std::move(layer));
}

void FbxLegacyGeometry::dropUnresolvedLayerEntries(FbxNode& geometry)
{
    // Some exporters list layer elements they never wrote; the importer reports each as an error.
    std::set<std::pair<std::string, int64_t>> present;
    for (const FbxNode& element : geometry.children)
        if (isLayerElement(element.name) && !element.properties.empty())
            present.insert({element.name, element.properties.front().integer});
    for (FbxNode& layer : geometry.children) {
        if (layer.name != "Layer")
            continue;
        auto unresolved = [&present](const FbxNode& entry) {
            const FbxNode* type = entry.child("Type");
            const FbxNode* index = entry.child("TypedIndex");
            return entry.name == "LayerElement" && type && index && !index->properties.empty()
                && !present.count({V::text(*type, 0), index->properties.front().integer});
        };
        layer.children.erase(std::remove_if(layer.children.begin(), layer.children.end(), unresolved),
                             layer.children.end());
    }
}

void FbxLegacyGeometry::dropMaterialLayer(FbxNode& geometry)
{
    auto isMaterialLayer = [](const FbxNode& element) { return element.name == "LayerElementMaterial"; };
    geometry.children.erase(std::remove_if(geometry.children.begin(), geometry.children.end(), isMaterialLayer),
                            geometry.children.end());
    dropUnresolvedLayerEntries(geometry);
}

void FbxLegacyGeometry::readMaterialTextures(const FbxNode& geometry, Mesh& mesh)
{
    const FbxNode* textureLayer = nullptr;
    const FbxNode* materialLayer = nullptr;
    for (const FbxNode& element : geometry.children) {
        if (element.name == "LayerElementTexture" && !textureLayer)
            textureLayer = &element;
        if (element.name == "LayerElementMaterial" && !materialLayer)
            materialLayer = &element;
    }
    if (!textureLayer)
        return;
    mesh.hasTextureLayer = true;
    const FbxNode* textureIds = textureLayer->child("TextureId");
    const FbxNode* materialIds = materialLayer ? materialLayer->child("Materials") : nullptr;
    if (!textureIds || textureIds->properties.empty())
        return;
    const std::vector<int64_t>& textures = textureIds->properties.front().integers;
    const std::vector<int64_t> none;
    const std::vector<int64_t>& materials
        = materialIds && !materialIds->properties.empty() ? materialIds->properties.front().integers : none;
    const size_t count = std::max(textures.size(), materials.size());
    std::set<std::pair<int, int>> seen;
    for (size_t i = 0; i < count; ++i) {
        // A single value stands for every polygon ("AllSame").
        const int64_t texture = textures.empty() ? -1 : textures[std::min(i, textures.size() - 1)];
        const int64_t material = materials.empty() ? 0 : materials[std::min(i, materials.size() - 1)];
        if (texture >= 0 && material >= 0 && texture < 65536 && material < 65536
            && seen.insert({int(material), int(texture)}).second)
            mesh.materialTextures.push_back({int(material), int(texture)});
    }
}

FbxLegacyGeometry::Mesh FbxLegacyGeometry::translate(const FbxNode& model)
{
    Mesh mesh;
    FbxNode& geometry = mesh.geometry;
    geometry = V::make("Geometry", {V::makeInt64(0), V::makeText(""), V::makeText("Mesh")});
    const FbxNode* vertices = model.child("Vertices");
    const FbxNode* polygons = model.child("PolygonVertexIndex");
    const std::vector<int64_t> polygonVertexIndex = polygons ? V::integers(*polygons) : std::vector<int64_t>();
    geometry.children.push_back(
        V::make("Vertices", {V::makeDoubleArray(vertices ? V::reals(*vertices) : std::vector<double>())}));
    geometry.children.push_back(V::make("PolygonVertexIndex", {V::makeInt32Array(polygonVertexIndex)}));
    if (const FbxNode* edges = model.child("Edges"))
        geometry.children.push_back(V::make("Edges", {V::makeInt32Array(V::integers(*edges))}));
    geometry.children.push_back(V::make("GeometryVersion", {V::makeInt32(124)}));

    bool hasLayers = false;
    for (const FbxNode& field : model.children) {
        if (isLayerElement(field.name)) {
            geometry.children.push_back(layerElement(field));
        } else if (field.name == "Layer") {
            geometry.children.push_back(layer(field));
            hasLayers = true;
        } else if (field.name == "Shape") {
            mesh.leftOut.push_back("shape \"" + V::text(field, 0) + "\"");
        }
    }
    if (!hasLayers)
        addVersion5Layers(model, geometry, cornerCount(polygonVertexIndex));
    if (!hasLayers)
        addMissingLayer(geometry);
    dropUnresolvedLayerEntries(geometry);
    readMaterialTextures(geometry, mesh);
    return mesh;
}
