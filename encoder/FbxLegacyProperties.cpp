#include "FbxLegacyProperties.h"

#include "FbxNodeValues.h"

#include <map>
#include <set>

namespace {

// Which binary type the importer expects for the values of a property type.
enum class ValueKind { Integer, Time, Text, Vector, Number };

ValueKind kindOf(const std::string& type)
{
    static const std::set<std::string> kIntegers = {"bool", "Bool", "int", "Int", "enum", "Enum", "Integer"};
    static const std::set<std::string> kTimes = {"KTime", "ULongLong"};
    static const std::set<std::string> kTexts = {"KString", "DateTime", "object", "Compound", "Url", "XRefUrl"};
    static const std::set<std::string> kVectors
        = {"Vector3D", "Vector", "ColorRGB", "Color", "Lcl Translation", "Lcl Rotation", "Lcl Scaling"};
    if (kIntegers.count(type))
        return ValueKind::Integer;
    if (kTimes.count(type))
        return ValueKind::Time;
    if (kTexts.count(type))
        return ValueKind::Text;
    if (kVectors.count(type))
        return ValueKind::Vector;
    return ValueKind::Number;
}

// Types and names that changed between the two forms; the rest carries over as it is.
std::string newType(const std::string& type)
{
    static const std::map<std::string, std::string> kTypes
        = {{"Intensity", "Number"}, {"Real", "double"}, {"Roll", "Number"}, {"Fov", "FieldOfView"}};
    const auto found = kTypes.find(type);
    return found == kTypes.end() ? type : found->second;
}

std::string newName(const std::string& name)
{
    static const std::map<std::string, std::string> kNames = {{"Cone angle", "OuterAngle"},
                                                              {"HotSpot", "InnerAngle"},
                                                              {"AspectW", "AspectWidth"},
                                                              {"AspectH", "AspectHeight"}};
    const auto found = kNames.find(name);
    return found == kNames.end() ? name : found->second;
}

FbxNode p(const std::string& name, const std::string& type, const std::string& flags, std::vector<FbxProperty> values)
{
    std::vector<FbxProperty> all {FbxNodeValues::makeText(name), FbxNodeValues::makeText(type),
                                  FbxNodeValues::makeText(""), FbxNodeValues::makeText(flags)};
    all.insert(all.end(), values.begin(), values.end());
    return FbxNodeValues::make("P", std::move(all));
}

} // namespace

bool FbxLegacyProperties::translateOne(const FbxNode& property, FbxNode& out)
{
    const std::string name = FbxNodeValues::text(property, 0);
    const std::string type = newType(FbxNodeValues::text(property, 1));
    if (name.empty())
        return false;
    const std::string flags = FbxNodeValues::text(property, 2);
    const std::vector<double> numbers = FbxNodeValues::reals(property, 3);
    std::vector<FbxProperty> values;
    switch (kindOf(type)) {
    case ValueKind::Text:
        for (size_t i = 3; i < property.properties.size(); ++i)
            if (FbxNodeValues::isText(property.properties[i]))
                values.push_back(property.properties[i]);
        if (type == "KString" && values.empty())
            values.push_back(FbxNodeValues::makeText("")); // the importer reads one value unchecked
        break;
    case ValueKind::Integer:
        if (numbers.empty())
            return false;
        values.push_back(FbxNodeValues::makeInt32(FbxNodeValues::integers(property, 3).front()));
        break;
    case ValueKind::Time:
        if (numbers.empty())
            return false;
        values.push_back(FbxNodeValues::makeInt64(FbxNodeValues::integers(property, 3).front()));
        break;
    case ValueKind::Vector:
        if (numbers.size() < 3)
            return false; // the importer refuses the whole file over a short vector
        for (size_t i = 0; i < 3; ++i)
            values.push_back(FbxNodeValues::makeDouble(numbers[i]));
        break;
    case ValueKind::Number:
        for (double v : numbers)
            values.push_back(FbxNodeValues::makeDouble(v));
        if (values.empty())
            return false;
        break;
    }
    out = p(newName(name), type, flags, std::move(values));
    return true;
}

FbxNode FbxLegacyProperties::translate(const FbxNode* block)
{
    FbxNode properties70 = FbxNodeValues::make("Properties70");
    if (!block)
        return properties70;
    std::map<std::string, size_t> byName; // a property written twice keeps its last value
    for (const FbxNode& property : block->children) {
        FbxNode translated;
        if (property.name != "Property" || !translateOne(property, translated))
            continue;
        const auto known = byName.emplace(FbxNodeValues::text(translated, 0), properties70.children.size());
        if (known.second)
            properties70.children.push_back(std::move(translated));
        else
            properties70.children[known.first->second] = std::move(translated);
    }
    return properties70;
}

FbxNode FbxLegacyProperties::vector(const std::string& name, const std::string& type, double x, double y, double z)
{
    return p(name, type, "A",
             {FbxNodeValues::makeDouble(x), FbxNodeValues::makeDouble(y), FbxNodeValues::makeDouble(z)});
}

FbxNode FbxLegacyProperties::number(const std::string& name, double value)
{
    return p(name, "Number", "A", {FbxNodeValues::makeDouble(value)});
}

FbxNode FbxLegacyProperties::integer(const std::string& name, const std::string& type, int64_t value)
{
    return p(name, type, "", {FbxNodeValues::makeInt32(value)});
}

FbxNode FbxLegacyProperties::time(const std::string& name, int64_t value)
{
    return p(name, "KTime", "", {FbxNodeValues::makeInt64(value)});
}

FbxNode FbxLegacyProperties::text(const std::string& name, const std::string& value)
{
    return p(name, "KString", "", {FbxNodeValues::makeText(value)});
}

void FbxLegacyProperties::set(FbxNode& properties70, FbxNode property)
{
    const std::string name = FbxNodeValues::text(property, 0);
    for (FbxNode& existing : properties70.children)
        if (FbxNodeValues::text(existing, 0) == name) {
            existing = std::move(property);
            return;
        }
    properties70.children.push_back(std::move(property));
}

const FbxNode* FbxLegacyProperties::find(const FbxNode& properties70, const std::string& name)
{
    for (const FbxNode& existing : properties70.children)
        if (FbxNodeValues::text(existing, 0) == name)
            return &existing;
    return nullptr;
}
