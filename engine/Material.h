#pragma once

#include "Properties.h"
#include "RenderState.h"

#include <set>
#include <string>
#include <vector>

namespace engine {

class Effect;
class Pass;
class Technique;

// A model's look: techniques of passes, each pass a shader program with its
// parameters and render state, read from a ".material" file. Every material
// read from a file also gets a "color_picking" technique that draws the same
// geometry in the flat colour "u_diffuseColor".
class Material : public RenderState {
public:
    // Techniques read for materials that can be lit in a light pass: the
    // surface the light pass reads, and the light pass itself.
    static constexpr const char* kSurfaceTechniqueId = "surface";
    static constexpr const char* kLightPassTechniqueId = "light_pass";

    // Extra defines a pass asks for, appended to those of the file.
    using PassCallback = std::string (*)(Pass* pass, void* cookie);

    // "file#namespace/path" in the resource folder 'folder', which the
    // file's shader and texture names are relative to as well; an unnamed top
    // namespace stands for its first nested one. Needs a current context
    // (effects are compiled).
    static Material* create(const std::string& folder, const char* url);
    // From a namespace named "material"; null for anything else.
    static Material* create(const std::string& folder, Properties* properties, PassCallback callback = nullptr,
                            void* cookie = nullptr);
    // One technique with one pass of this effect.
    static Material* create(Effect* effect);

    // The name of the "material" namespace it was read from; empty for one
    // built from an effect.
    const char* getId() const { return m_id.c_str(); }

    unsigned int getTechniqueCount() const { return static_cast<unsigned int>(m_techniques.size()); }
    Technique* getTechniqueByIndex(unsigned int index) const;
    Technique* getTechnique(const char* id) const;
    // The technique drawing uses; the first one loaded unless changed.
    Technique* getTechnique() const { return m_currentTechnique; }
    // Draws with the technique of that id from now on; false (and no change) when there is none.
    bool setTechnique(const char* id);
    // Draws with the first technique again.
    void resetTechnique() { m_currentTechnique = m_techniques.empty() ? nullptr : m_techniques.front(); }

    // Whether the passes of the material file define this name.
    bool hasDefine(const char* name) const;
    // The value of a "NAME value" define as a count; 0 when absent or not a number.
    unsigned int defineCount(const char* name) const;

    void setNodeBinding(Node* node) override;

private:
    friend class MaterialReader;
    Material() = default;
    ~Material() override;

    // Takes over the caller's reference.
    void appendTechnique(Technique* technique);

    std::string m_id;
    std::vector<Technique*> m_techniques;
    Technique* m_currentTechnique = nullptr;
    std::set<std::string> m_defines;
};

} // namespace engine
