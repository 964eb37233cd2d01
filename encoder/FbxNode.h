#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// The node tree every FBX file is made of, whichever encoding stored it (binary of either byte order,
// or ASCII) and whichever object model its version uses. Readers fill it, the translation of old files
// rewrites it, and the binary writer hands it to the importer.

// One value of a node. `type` is the binary format's own code: 'C' bool, 'Y' int16, 'I' int32,
// 'L' int64, 'F' float, 'D' double, 'S' string, 'R' raw bytes; arrays 'b' bool, 'i' int32, 'l' int64,
// 'f' float, 'd' double. ASCII values read as 'L' (whole numbers), 'D' (other numbers), 'S' (quoted
// text) or, for the bare words some old files use (`Y`, `N`, `T`), 'S' as well.
struct FbxProperty {
    char type = 'L';
    int64_t integer = 0; // C Y I L
    double real = 0.0; // F D
    std::string text; // S R
    std::vector<int64_t> integers; // b i l
    std::vector<double> reals; // f d

    bool isArray() const { return type == 'b' || type == 'i' || type == 'l' || type == 'f' || type == 'd'; }

    // Equal in every stored value, numbers bit for bit (so a NaN equals itself).
    bool sameAs(const FbxProperty& other) const
    {
        return type == other.type && integer == other.integer && std::memcmp(&real, &other.real, sizeof(real)) == 0
            && text == other.text && integers == other.integers && reals.size() == other.reals.size()
            && (reals.empty() || std::memcmp(reals.data(), other.reals.data(), reals.size() * sizeof(double)) == 0);
    }
};

struct FbxNode {
    std::string name;
    std::vector<FbxProperty> properties;
    std::vector<FbxNode> children;

    // The same name, properties and children, compared as FbxProperty::sameAs does.
    bool sameAs(const FbxNode& other) const
    {
        return name == other.name
            && std::equal(properties.begin(), properties.end(), other.properties.begin(), other.properties.end(),
                          [](const FbxProperty& a, const FbxProperty& b) { return a.sameAs(b); })
            && std::equal(children.begin(), children.end(), other.children.begin(), other.children.end(),
                          [](const FbxNode& a, const FbxNode& b) { return a.sameAs(b); });
    }

    // The first child of that name, or null.
    const FbxNode* child(const std::string& childName) const
    {
        for (const FbxNode& node : children) {
            if (node.name == childName)
                return &node;
        }
        return nullptr;
    }
};

struct FbxDocument {
    unsigned version = 0; // e.g. 6100, 7500
    bool binary = false;
    bool bigEndian = false;
    std::vector<FbxNode> nodes; // the top level: FBXHeaderExtension, Definitions, Objects, Connections, Takes, ...

    // The first top-level node of that name, or null.
    const FbxNode* section(const std::string& name) const
    {
        for (const FbxNode& node : nodes) {
            if (node.name == name)
                return &node;
        }
        return nullptr;
    }
};
