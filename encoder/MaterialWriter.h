#pragma once

#include "MaterialPlan.h"
#include "Messages.h"

#include <string>

// Writes a MaterialPlan as the material file in the engine's properties
// grammar. Every material draws with the shaders in "shaders/" of the model
// folder; its defines say which parts of those shaders are used.
class MaterialWriter {
public:
    // Writes the file under a temporary name and moves it into place. Returns
    // false on failure (already reported through messages).
    static bool write(const MaterialPlan& plan, Messages& messages);

    static std::string fileText(const MaterialPlan& plan);

    // A number as the material file writes it: plain decimal notation, which
    // the engine's number check accepts (no exponent, no "nan").
    static std::string number(float value);
};
