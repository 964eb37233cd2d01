#include "FbxNodeValues.h"

#include <cmath>
#include <limits>

std::vector<const FbxNode*> FbxNodeValues::children(const FbxNode& node, const std::string& name)
{
    std::vector<const FbxNode*> found;
    for (const FbxNode& c : node.children)
        if (c.name == name)
            found.push_back(&c);
    return found;
}

bool FbxNodeValues::isNumber(const FbxProperty& value)
{
    switch (value.type) {
    case 'C':
    case 'Y':
    case 'I':
    case 'L':
    case 'F':
    case 'D':
        return true;
    default:
        return false;
    }
}

double FbxNodeValues::number(const FbxProperty& value)
{
    return value.type == 'F' || value.type == 'D' ? value.real : static_cast<double>(value.integer);
}

std::string FbxNodeValues::text(const FbxNode& node, size_t index)
{
    return index < node.properties.size() && isText(node.properties[index]) ? node.properties[index].text
                                                                            : std::string();
}

double FbxNodeValues::number(const FbxNode& node, size_t index, double fallback)
{
    return index < node.properties.size() && isNumber(node.properties[index]) ? number(node.properties[index])
                                                                              : fallback;
}

std::vector<double> FbxNodeValues::reals(const FbxNode& node, size_t from)
{
    std::vector<double> values;
    for (size_t i = from; i < node.properties.size(); ++i) {
        const FbxProperty& p = node.properties[i];
        if (isNumber(p))
            values.push_back(number(p));
        else if (p.type == 'f' || p.type == 'd')
            values.insert(values.end(), p.reals.begin(), p.reals.end());
        else if (p.isArray())
            values.insert(values.end(), p.integers.begin(), p.integers.end());
    }
    return values;
}

std::vector<int64_t> FbxNodeValues::integers(const FbxNode& node, size_t from)
{
    // Integers written as reals ("3.0") by some exporters are taken as the whole numbers they are;
    // what is not finite or out of range becomes 0 rather than undefined behaviour.
    auto whole = [](double v) {
        const bool representable = std::isfinite(v) && std::fabs(v) < 9.0e18;
        return representable ? static_cast<int64_t>(std::llround(v)) : int64_t(0);
    };
    std::vector<int64_t> values;
    for (size_t i = from; i < node.properties.size(); ++i) {
        const FbxProperty& p = node.properties[i];
        if (p.type == 'F' || p.type == 'D')
            values.push_back(whole(p.real));
        else if (isNumber(p))
            values.push_back(p.integer);
        else if (p.type == 'f' || p.type == 'd')
            for (double v : p.reals)
                values.push_back(whole(v));
        else if (p.isArray())
            values.insert(values.end(), p.integers.begin(), p.integers.end());
    }
    return values;
}

FbxProperty FbxNodeValues::makeText(const std::string& text)
{
    FbxProperty p;
    p.type = 'S';
    p.text = text;
    return p;
}

FbxProperty FbxNodeValues::makeRaw(const std::string& bytes)
{
    FbxProperty p = makeText(bytes);
    p.type = 'R';
    return p;
}

FbxProperty FbxNodeValues::makeInt32(int64_t value)
{
    const bool fits = value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max();
    FbxProperty p = makeInt64(fits ? value : 0);
    p.type = 'I';
    return p;
}

FbxProperty FbxNodeValues::makeInt64(int64_t value)
{
    FbxProperty p;
    p.type = 'L';
    p.integer = value;
    return p;
}

FbxProperty FbxNodeValues::makeDouble(double value)
{
    FbxProperty p;
    p.type = 'D';
    p.real = value;
    return p;
}

FbxProperty FbxNodeValues::makeInt32Array(const std::vector<int64_t>& values)
{
    FbxProperty p;
    p.type = 'i';
    p.integers.reserve(values.size());
    for (int64_t v : values)
        p.integers.push_back(makeInt32(v).integer);
    return p;
}

FbxProperty FbxNodeValues::makeInt64Array(const std::vector<int64_t>& values)
{
    FbxProperty p;
    p.type = 'l';
    p.integers = values;
    return p;
}

FbxProperty FbxNodeValues::makeDoubleArray(const std::vector<double>& values)
{
    FbxProperty p;
    p.type = 'd';
    p.reals = values;
    return p;
}

FbxProperty FbxNodeValues::makeFloatArray(const std::vector<double>& values)
{
    FbxProperty p = makeDoubleArray(values);
    p.type = 'f';
    return p;
}

FbxNode FbxNodeValues::make(const std::string& name, std::vector<FbxProperty> properties, std::vector<FbxNode> children)
{
    FbxNode node;
    node.name = name;
    node.properties = std::move(properties);
    node.children = std::move(children);
    return node;
}
