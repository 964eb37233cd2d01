#pragma once

#include "math/Matrix.h"
#include "math/Quaternion.h"
#include "math/Vector2.h"
#include "math/Vector3.h"
#include "math/Vector4.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace engine {

// A namespace of the properties text format (materials, animations, scenes):
//
//   name [id] [: parentId]
//   {
//       key = value            // comment
//       $colour = 1,0,0        /* declares a variable */
//       tint = ${colour}       uses it (looked up here, then in enclosing namespaces)
//       nested { ... }
//   }
//
// Values are kept as text; the typed getters convert them.
class Properties {
public:
    // Parsed files by file name; owned by the caller, entries released with clearCache().
    using Cache = std::map<std::string, Properties*>;

    // url: "file[#namespace/path]". Returns an independent deep copy owned by
    // the caller, or null for an empty url, an unreadable or malformed file or
    // a missing namespace.
    static Properties* create(const char* url, Cache* cache = nullptr);
    // Parses text held in memory; 'directory' becomes the folder path.
    static Properties* createFromText(const char* text, size_t size, const char* directory = "");
    static void clearCache(Cache& cache);

    ~Properties();
    Properties* clone() const;

    const char* getNamespace() const { return m_namespace.c_str(); }
    const char* getId() const { return m_id.c_str(); }
    const char* getParentId() const { return m_parentId.c_str(); }
    Properties* getParent() const { return m_parent; }

    // Iteration in file order. getNextProperty returns the next name or null.
    const char* getNextProperty();
    Properties* getNextNamespace();
    void rewind();
    size_t propertyCount() const { return m_properties.size(); }
    size_t namespaceCount() const { return m_namespaces.size(); }
    Properties* namespaceAt(size_t index) const;

    // Nested namespace whose id (or, with searchNames, whose namespace name)
    // is 'id'; depth first when recursive.
    Properties* getNamespace(const char* id, bool searchNames = false, bool recursive = true) const;

    // Getters take a property name; null means the current property of the iteration.
    bool exists(const char* name) const;
    const char* getString(const char* name = nullptr, const char* defaultValue = nullptr) const;
    bool getBool(const char* name = nullptr, bool defaultValue = false) const;
    int getInt(const char* name = nullptr) const;
    float getFloat(const char* name = nullptr) const;
    // These return true when every value parsed; otherwise the output is
    // zeros, the identity rotation or the identity matrix.
    bool getVector2(const char* name, Vector2* out) const;
    bool getVector3(const char* name, Vector3* out) const;
    bool getVector4(const char* name, Vector4* out) const;
    // "x,y,z,angleInDegrees".
    bool getQuaternionFromAxisAngle(const char* name, Quaternion* out) const;
    bool getMatrix(const char* name, Matrix* out) const;
    // Resolves a file name held in a property: in the resource folder when
    // it exists there, otherwise relative to this file's folder.
    bool getPath(const char* name, const std::string& folder, std::string* path) const;

    // Replaces the first property of that name or appends a new one.
    void setString(const char* name, const char* value);
    const char* getVariable(const char* name, const char* defaultValue = nullptr) const;
    void setVariable(const char* name, const char* value);

    // Optional minus, digits, at most one decimal point (used for scene values).
    static bool isNumber(const char* text);

private:
    struct Property {
        std::string name;
        std::string value;
        bool isVariableReference = false;
    };
    using VariableTable = std::vector<std::pair<std::string, std::string>>;
    friend class PropertiesParser;
    friend class InheritanceResolver;

    Properties() = default;
    Properties(const Properties&) = delete;
    Properties& operator=(const Properties&) = delete;

    static Properties* stepInto(const Properties* current, const std::string& name);
    static Properties* stepIntoTop(Properties* top, const std::string& name);
    const Property* find(const char* name) const;
    const char* valueOf(const Property& p) const;
    void collectVisibleVariables(VariableTable* out) const;
    void setDirectoryRecursive(const std::string& dir);

    std::string m_namespace;
    std::string m_id;
    std::string m_parentId;
    std::string m_directory;
    std::vector<Property> m_properties;
    std::vector<Properties*> m_namespaces;
    Properties* m_parent = nullptr;
    std::unique_ptr<VariableTable> m_variables;
    long m_propertyIndex = -1;
    size_t m_namespaceIndex = 0;
};

} // namespace engine
