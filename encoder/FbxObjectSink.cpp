#include "FbxObjectSink.h"

#include "FbxNodeValues.h"

namespace {
const char kBinarySeparator[] = {'\0', '\x01'};
}

std::string FbxObjectSink::objectKey(const std::string& storedName, const std::string& classWhenBare)
{
    const size_t binary = storedName.find(std::string(kBinarySeparator, 2));
    if (binary != std::string::npos)
        return storedName.substr(binary + 2) + "::" + storedName.substr(0, binary);
    if (storedName.find("::") != std::string::npos || classWhenBare.empty())
        return storedName;
    return classWhenBare + "::" + storedName;
}

std::string FbxObjectSink::bareName(const std::string& storedName)
{
    const std::string key = objectKey(storedName);
    const size_t colons = key.find("::");
    return colons == std::string::npos ? key : key.substr(colons + 2);
}

std::string FbxObjectSink::storedName(const std::string& name, const std::string& className)
{
    return name + std::string(kBinarySeparator, 2) + className;
}

int64_t FbxObjectSink::add(FbxNode object, const std::string& key)
{
    const int64_t id = m_nextId++;
    if (object.properties.empty())
        object.properties.push_back(FbxNodeValues::makeInt64(id));
    else
        object.properties[0] = FbxNodeValues::makeInt64(id);
    m_index[id] = m_objects.size();
    m_objects.push_back(std::move(object));
    if (!key.empty())
        m_keys.emplace(key, id); // the first object of a name wins, as in the old readers
    return id;
}

int64_t FbxObjectSink::idOf(const std::string& key) const
{
    const auto found = m_keys.find(key);
    return found == m_keys.end() ? -1 : found->second;
}

std::vector<FbxNode> FbxObjectSink::takeObjects()
{
    m_index.clear();
    m_keys.clear();
    return std::move(m_objects);
}

FbxNode* FbxObjectSink::object(int64_t id)
{
    const auto found = m_index.find(id);
    return found == m_index.end() ? nullptr : &m_objects[found->second];
}

void FbxObjectSink::connect(int64_t source, int64_t destination, const std::string& property)
{
    std::vector<FbxProperty> values {FbxNodeValues::makeText(property.empty() ? "OO" : "OP"),
                                     FbxNodeValues::makeInt64(source), FbxNodeValues::makeInt64(destination)};
    if (!property.empty())
        values.push_back(FbxNodeValues::makeText(property));
    m_connections.push_back(FbxNodeValues::make("C", std::move(values)));
}

void FbxObjectSink::leaveOut(const std::string& kind, const std::string& name) { m_leftOut.push_back({kind, name}); }
