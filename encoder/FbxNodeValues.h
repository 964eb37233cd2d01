#pragma once

#include "FbxNode.h"

#include <cstdint>
#include <string>
#include <vector>

// Reading the values of an FBX node whichever encoding stored them, and making the typed values of
// the binary layout the importer expects. Old files keep numbers as single values in ASCII and as
// arrays or single values in binary; the importer reads ids as int64, indices as int32 arrays and
// coordinates as double arrays, so values are read loosely and written strictly.
class FbxNodeValues {
public:
    static std::vector<const FbxNode*> children(const FbxNode& node, const std::string& name);

    static bool isNumber(const FbxProperty& value);
    static bool isText(const FbxProperty& value) { return value.type == 'S'; }
    static double number(const FbxProperty& value);
    // The text of the value at `index`, or "" when there is none or it is not text.
    static std::string text(const FbxNode& node, size_t index);
    // The number at `index`, or `fallback` when there is none or it is not a number.
    static double number(const FbxNode& node, size_t index, double fallback);
    // Every number of the node from `from` on, arrays flattened into the list.
    static std::vector<double> reals(const FbxNode& node, size_t from = 0);
    static std::vector<int64_t> integers(const FbxNode& node, size_t from = 0);

    static FbxProperty makeText(const std::string& text);
    static FbxProperty makeRaw(const std::string& bytes);
    static FbxProperty makeInt32(int64_t value);
    static FbxProperty makeInt64(int64_t value);
    static FbxProperty makeDouble(double value);
    static FbxProperty makeInt32Array(const std::vector<int64_t>& values);
    static FbxProperty makeInt64Array(const std::vector<int64_t>& values);
    static FbxProperty makeDoubleArray(const std::vector<double>& values);
    static FbxProperty makeFloatArray(const std::vector<double>& values);

    static FbxNode make(const std::string& name, std::vector<FbxProperty> properties = {},
                        std::vector<FbxNode> children = {});
};
