#pragma once

#include "FbxNode.h"

#include <string>
#include <vector>

// The property blocks of old files (`Properties60 { Property: name, type, flags, values... }`, or the
// bare `Properties` of FBX 5) in the newer form (`Properties70 { P: name, type, "", flags, values }`),
// with each value typed the way the importer parses that property type.
class FbxLegacyProperties {
public:
    // Every property of an old block that the newer form can hold; `block` may be null.
    static FbxNode translate(const FbxNode* block);

    static FbxNode vector(const std::string& name, const std::string& type, double x, double y, double z);
    static FbxNode number(const std::string& name, double value);
    static FbxNode integer(const std::string& name, const std::string& type, int64_t value);
    static FbxNode time(const std::string& name, int64_t value);
    static FbxNode text(const std::string& name, const std::string& value);

    // Sets `p` in a Properties70 node, replacing a property of the same name.
    static void set(FbxNode& properties70, FbxNode p);
    static const FbxNode* find(const FbxNode& properties70, const std::string& name);

private:
    static bool translateOne(const FbxNode& property, FbxNode& p);
};
