#include "Properties.h"

#include "FileSystem.h"
#include "NumberText.h"
#include "math/MathUtil.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace engine {

namespace {

// Limits that keep hostile files from exhausting the stack or memory.
const size_t kMaxLineLength = 2048; // bytes per line, line break excluded
const int kMaxDepth = 256; // namespace nesting, also after inheritance
const size_t kMaxInheritedItems = 1u << 20; // namespaces and properties copied by inheritance

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string trim(const std::string& s)
{
    size_t begin = 0;
    size_t end = s.size();
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    return s.substr(begin, end - begin);
}

std::vector<std::string> splitBlanks(const std::string& s)
{
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && isBlank(s[i]))
            ++i;
        const size_t start = i;
        while (i < s.size() && !isBlank(s[i]))
            ++i;
        if (i > start)
            tokens.push_back(s.substr(start, i - start));
    }
    return tokens;
}

// Reads 'count' comma-separated floats the way "%f,%f,..." would.
bool parseFloats(const char* text, float* out, int count)
{
    if (!text)
        return false;
    const char* p = text;
    for (int i = 0; i < count; ++i) {
        p = NumberText::parseFloat(p, &out[i]);
        if (!p)
            return false;
        if (i + 1 < count) {
            if (*p != ',')
                return false;
            ++p;
        }
    }
    return true;
}

} // namespace

// Turns text into a tree below an unnamed root namespace.
class PropertiesParser {
public:
    explicit PropertiesParser(Properties* root) { m_stack.push_back(root); }

    bool parse(const char* text, size_t size)
    {
        size_t pos = 0;
        while (pos < size && !m_failed) {
            size_t end = pos;
            while (end < size && text[end] != '\n')
                ++end;
            if (end - pos > kMaxLineLength)
                return false;
            handleLine(std::string(text + pos, end - pos));
            pos = end + 1;
        }
        return !m_failed && m_stack.size() == 1 && !m_pendingHeader;
    }

private:
    void handleLine(const std::string& raw)
    {
        const std::string line = trim(stripComments(raw));
        if (!line.empty())
            handleStatement(line);
    }

    std::string stripComments(const std::string& raw)
    {
        std::string out;
        size_t i = 0;
        while (i < raw.size()) {
            if (m_inBlockComment) {
                const size_t close = raw.find("*/", i);
                if (close == std::string::npos)
                    return out;
                m_inBlockComment = false;
                i = close + 2;
                out += ' ';
                continue;
            }
            if (raw[i] == '/' && i + 1 < raw.size()) {
                if (raw[i + 1] == '/')
                    return out;
                if (raw[i + 1] == '*') {
                    m_inBlockComment = true;
                    i += 2;
                    continue;
                }
            }
            out += raw[i++];
        }
        return out;
    }

    void handleStatement(const std::string& line)
    {
        if (m_failed || line.empty())
            return;
        if (m_pendingHeader) {
            // A header without "{" must be followed by a line that opens it.
            if (line[0] != '{') {
                m_failed = true;
                return;
            }
            m_stack.push_back(m_pendingHeader);
            m_pendingHeader = nullptr;
            handleBody(trim(line.substr(1)));
            return;
        }
        if (line[0] == '}') {
            if (m_stack.size() <= 1) {
                m_failed = true; // more closing braces than opened namespaces
                return;
            }
            m_stack.pop_back();
            handleStatement(trim(line.substr(1)));
            return;
        }
        const size_t eq = line.find('=');
        const size_t brace = line.find('{');
        if (eq != std::string::npos && (brace == std::string::npos || eq < brace))
            addProperty(trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
        else
            openNamespace(line, brace);
    }

    // Text after an opening "{" on the same line: a namespace may also close there.
    void handleBody(const std::string& rest)
    {
        if (rest.empty())
            return;
        if (rest[0] == '}') {
            handleStatement(rest);
            return;
        }
        // Peel closing braces off the end, but not one that ends a "${name}".
        std::string inner = rest;
        int closes = 0;
        while (!inner.empty() && inner.back() == '}') {
            const std::string candidate = inner.substr(0, inner.size() - 1);
            const size_t open = candidate.rfind("${");
            if (open != std::string::npos && candidate.find('}', open) == std::string::npos)
                break;
            inner = trim(candidate);
            ++closes;
        }
        handleStatement(inner);
        for (int i = 0; i < closes && !m_failed; ++i)
            handleStatement("}");
    }

    void addProperty(const std::string& name, const std::string& value)
    {
        if (name.empty())
            return; // "= value" names nothing; skip it rather than reject the file
        Properties* ns = m_stack.back();
        if (name.size() > 1 && name[0] == '$') {
            ns->setVariable(name.c_str() + 1, value.c_str());
            return;
        }
        Properties::Property p;
        p.name = name;
        if (value.size() >= 4 && value[0] == '$' && value[1] == '{' && value.back() == '}') {
            p.isVariableReference = true;
            p.value = value.substr(2, value.size() - 3);
        } else {
            p.value = value;
        }
        ns->m_properties.push_back(std::move(p));
    }

    void openNamespace(const std::string& line, size_t brace)
    {
        std::string header = brace == std::string::npos ? line : line.substr(0, brace);
        // "id:parent" and "id : parent" mean the same.
        std::string spaced;
        for (char c : header) {
            if (c == ':')
                spaced += " : ";
            else
                spaced += c;
        }
        const std::vector<std::string> tokens = splitBlanks(spaced);
        if (tokens.empty() || tokens[0] == ":" || static_cast<int>(m_stack.size()) > kMaxDepth) {
            m_failed = true;
            return;
        }
        auto* ns = new Properties();
        ns->m_namespace = tokens[0];
        size_t i = 1;
        if (i < tokens.size() && tokens[i] != ":")
            ns->m_id = tokens[i++];
        if (i < tokens.size() && tokens[i] == ":") {
            if (i + 1 >= tokens.size()) {
                delete ns;
                m_failed = true;
                return;
            }
            ns->m_parentId = tokens[i + 1];
            i += 2;
        }
        if (i != tokens.size()) {
            delete ns;
            m_failed = true;
            return;
        }
        Properties* parent = m_stack.back();
        ns->m_parent = parent;
        parent->m_namespaces.push_back(ns);
        if (brace == std::string::npos) {
            m_pendingHeader = ns;
            return;
        }
        m_stack.push_back(ns);
        handleBody(trim(line.substr(brace + 1)));
    }

    std::vector<Properties*> m_stack;
    Properties* m_pendingHeader = nullptr;
    bool m_inBlockComment = false;
    bool m_failed = false;
};

namespace {

int heightOf(const Properties* p)
{
    int h = 0;
    for (size_t i = 0; i < p->namespaceCount(); ++i)
        h = std::max(h, heightOf(p->namespaceAt(i)));
    return h + 1;
}

int depthOf(const Properties* p)
{
    int d = 0;
    for (const Properties* q = p->getParent(); q; q = q->getParent())
        ++d;
    return d;
}

size_t itemCount(const Properties* p)
{
    size_t n = 1 + p->propertyCount();
    for (size_t i = 0; i < p->namespaceCount(); ++i)
        n += itemCount(p->namespaceAt(i));
    return n;
}

bool isAncestor(const Properties* candidate, const Properties* p)
{
    for (const Properties* q = p->getParent(); q; q = q->getParent())
        if (q == candidate)
            return true;
    return false;
}

} // namespace

// Copies what a namespace inherits from the namespace its ": parentId" names.
// Parents may appear anywhere in the file, also further down. Cycles and
// inheriting from an enclosing namespace are ignored rather than followed.
class InheritanceResolver {
public:
    explicit InheritanceResolver(Properties* root) { index(root); }

    bool resolve(Properties* p, int depth = 0)
    {
        if (m_failed)
            return false;
        int& state = m_state[p];
        if (state != 0)
            return true;
        state = 1;
        if (depth > 4 * kMaxDepth) {
            m_failed = true;
            return false;
        }
        const size_t ownCount = p->m_namespaces.size();
        if (!p->m_parentId.empty()) {
            const auto found = m_byId.find(p->m_parentId);
            if (found != m_byId.end()) {
                Properties* base = found->second;
                if (base != p && !isAncestor(base, p) && m_state[base] != 1) {
                    resolve(base, depth + 1);
                    inherit(p, base);
                }
            }
        }
        for (size_t i = 0; i < ownCount && !m_failed; ++i)
            resolve(p->m_namespaces[i], depth + 1);
        m_state[p] = 2;
        return !m_failed;
    }

private:
    void index(Properties* p)
    {
        if (!p->m_id.empty())
            m_byId.emplace(p->m_id, p); // the first namespace with an id wins
        for (Properties* child : p->m_namespaces)
            index(child);
    }

    void inherit(Properties* p, const Properties* base)
    {
        for (const Properties::Property& prop : base->m_properties) {
            if (!p->exists(prop.name.c_str())) {
                if (++m_copied > kMaxInheritedItems) {
                    m_failed = true;
                    return;
                }
                p->m_properties.push_back(prop);
            }
        }
        const int depth = depthOf(p);
        for (const Properties* nested : base->m_namespaces) {
            if (definesNamespace(p, nested))
                continue;
            m_copied += itemCount(nested);
            if (m_copied > kMaxInheritedItems || depth + 1 + heightOf(nested) > kMaxDepth) {
                m_failed = true;
                return;
            }
            Properties* copy = nested->clone();
            copy->m_parent = p;
            p->m_namespaces.push_back(copy);
        }
    }

    static bool definesNamespace(const Properties* p, const Properties* nested)
    {
        for (const Properties* own : p->m_namespaces)
            if (own->m_namespace == nested->m_namespace && own->m_id == nested->m_id)
                return true;
        return false;
    }

    std::unordered_map<std::string, Properties*> m_byId;
    std::unordered_map<const Properties*, int> m_state; // 1 resolving, 2 done
    size_t m_copied = 0;
    bool m_failed = false;
};

Properties* Properties::createFromText(const char* text, size_t size, const char* directory)
{
    if (!text)
        return nullptr;
    // Editors on Windows like to start text files with a UTF-8 byte order mark.
    if (size >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0) {
        text += 3;
        size -= 3;
    }
    std::unique_ptr<Properties> root(new Properties());
    PropertiesParser parser(root.get());
    if (!parser.parse(text, size))
        return nullptr;
    InheritanceResolver resolver(root.get());
    if (!resolver.resolve(root.get()))
        return nullptr;
    root->setDirectoryRecursive(directory ? directory : "");
    return root.release();
}

// One step of a url's namespace path. An id names a block; the namespace
// name is only a fallback. Otherwise "model.material#technique" would find
// the first technique block instead of the material whose id is "technique".
Properties* Properties::stepInto(const Properties* current, const std::string& name)
{
    for (Properties* child : current->m_namespaces)
        if (child->m_id == name)
            return child;
    for (Properties* child : current->m_namespaces)
        if (child->m_namespace == name)
            return child;
    return nullptr;
}

// The first step when a file's only namespace stands for the whole file:
// that namespace itself when the name is its id, before anything nested in it.
Properties* Properties::stepIntoTop(Properties* top, const std::string& name)
{
    if (top->m_id == name)
        return top;
    for (Properties* child : top->m_namespaces)
        if (child->m_id == name)
            return child;
    if (top->m_namespace == name)
        return top;
    return stepInto(top, name);
}

Properties* Properties::create(const char* url, Cache* cache)
{
    if (!url || !*url)
        return nullptr;
    const std::string full(url);
    const size_t hash = full.find('#');
    const std::string fileName = full.substr(0, hash);
    const std::string path = hash == std::string::npos ? std::string() : full.substr(hash + 1);
    if (fileName.empty())
        return nullptr;

    // Keyed by the path as the system takes it.
    const std::string cacheKey = FileSystem::resolvePath(fileName.c_str());
    Properties* root = nullptr;
    std::unique_ptr<Properties> owned;
    if (cache) {
        const auto cached = cache->find(cacheKey);
        if (cached != cache->end())
            root = cached->second;
    }
    if (!root) {
        int size = 0;
        std::unique_ptr<char[]> text(FileSystem::readAll(fileName.c_str(), &size));
        if (!text)
            return nullptr;
        const std::string dir = FileSystem::getDirectoryName(fileName.c_str());
        owned.reset(createFromText(text.get(), static_cast<size_t>(size), dir.c_str()));
        if (!owned)
            return nullptr;
        root = owned.get();
        if (cache)
            (*cache)[cacheKey] = owned.release();
    }

    // A file with one namespace and no loose properties is that namespace.
    Properties* top = root;
    if (root->m_properties.empty() && root->m_namespaces.size() == 1)
        top = root->m_namespaces[0];

    Properties* current = top;
    size_t start = 0;
    bool first = true;
    while (start <= path.size() && !path.empty()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos)
            slash = path.size();
        const std::string name = path.substr(start, slash - start);
        start = slash + 1;
        if (name.empty())
            continue;
        current = first && top != root ? stepIntoTop(top, name) : stepInto(current, name);
        if (!current)
            return nullptr;
        first = false;
    }

    Properties* copy = current->clone();
    // Variables declared in enclosing namespaces stay visible to the copy.
    VariableTable inherited;
    if (current->m_parent)
        current->m_parent->collectVisibleVariables(&inherited);
    for (const auto& var : inherited)
        if (!copy->getVariable(var.first.c_str()))
            copy->setVariable(var.first.c_str(), var.second.c_str());
    return copy;
}

void Properties::clearCache(Cache& cache)
{
    for (auto& entry : cache)
        delete entry.second;
    cache.clear();
}

Properties::~Properties()
{
    for (Properties* child : m_namespaces)
        delete child;
}

Properties* Properties::clone() const
{
    auto* copy = new Properties();
    copy->m_namespace = m_namespace;
    copy->m_id = m_id;
    copy->m_parentId = m_parentId;
    copy->m_directory = m_directory;
    copy->m_properties = m_properties;
    if (m_variables)
        copy->m_variables.reset(new VariableTable(*m_variables));
    copy->m_namespaces.reserve(m_namespaces.size());
    for (const Properties* child : m_namespaces) {
        Properties* c = child->clone();
        c->m_parent = copy;
        copy->m_namespaces.push_back(c);
    }
    return copy;
}

const char* Properties::getNextProperty()
{
    if (m_propertyIndex + 1 < static_cast<long>(m_properties.size())) {
        ++m_propertyIndex;
        return m_properties[static_cast<size_t>(m_propertyIndex)].name.c_str();
    }
    m_propertyIndex = static_cast<long>(m_properties.size());
    return nullptr;
}

Properties* Properties::getNextNamespace()
{
    if (m_namespaceIndex < m_namespaces.size())
        return m_namespaces[m_namespaceIndex++];
    return nullptr;
}

void Properties::rewind()
{
    m_propertyIndex = -1;
    m_namespaceIndex = 0;
}

Properties* Properties::namespaceAt(size_t index) const
{
    return index < m_namespaces.size() ? m_namespaces[index] : nullptr;
}

Properties* Properties::getNamespace(const char* id, bool searchNames, bool recursive) const
{
    if (!id)
        return nullptr;
    for (Properties* child : m_namespaces)
        if (child->m_id == id || (searchNames && child->m_namespace == id))
            return child;
    if (recursive) {
        for (const Properties* child : m_namespaces)
            if (Properties* found = child->getNamespace(id, searchNames, true))
                return found;
    }
    return nullptr;
}

const Properties::Property* Properties::find(const char* name) const
{
    if (!name) {
        if (m_propertyIndex >= 0 && m_propertyIndex < static_cast<long>(m_properties.size()))
            return &m_properties[static_cast<size_t>(m_propertyIndex)];
        return nullptr;
    }
    for (const Property& p : m_properties)
        if (p.name == name)
            return &p;
    return nullptr;
}

const char* Properties::valueOf(const Property& p) const
{
    if (p.isVariableReference)
        return getVariable(p.value.c_str());
    return p.value.c_str();
}

bool Properties::exists(const char* name) const { return find(name) != nullptr; }

const char* Properties::getString(const char* name, const char* defaultValue) const
{
    const Property* p = find(name);
    if (!p)
        return defaultValue;
    const char* value = valueOf(*p);
    return value ? value : defaultValue;
}

bool Properties::getBool(const char* name, bool defaultValue) const
{
    const char* value = getString(name);
    if (!value)
        return defaultValue;
    return std::strcmp(value, "true") == 0;
}

int Properties::getInt(const char* name) const
{
    const char* value = getString(name);
    if (!value)
        return 0;
    char* end = nullptr;
    const long v = std::strtol(value, &end, 10);
    if (end == value)
        return 0;
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

float Properties::getFloat(const char* name) const
{
    float v = 0.0f;
    if (!parseFloats(getString(name), &v, 1))
        return 0.0f;
    return v;
}

bool Properties::getVector2(const char* name, Vector2* out) const
{
    float v[2];
    const bool ok = parseFloats(getString(name), v, 2);
    if (out)
        *out = ok ? Vector2(v[0], v[1]) : Vector2();
    return ok;
}

bool Properties::getVector3(const char* name, Vector3* out) const
{
    float v[3];
    const bool ok = parseFloats(getString(name), v, 3);
    if (out)
        *out = ok ? Vector3(v[0], v[1], v[2]) : Vector3();
    return ok;
}

bool Properties::getVector4(const char* name, Vector4* out) const
{
    float v[4];
    const bool ok = parseFloats(getString(name), v, 4);
    if (out)
        *out = ok ? Vector4(v[0], v[1], v[2], v[3]) : Vector4();
    return ok;
}

bool Properties::getQuaternionFromAxisAngle(const char* name, Quaternion* out) const
{
    float v[4];
    const bool ok = parseFloats(getString(name), v, 4);
    if (out) {
        *out = ok ? Quaternion::fromAxisAngle(Vector3(v[0], v[1], v[2]), degreesToRadians(v[3]))
                  : Quaternion::identity();
    }
    return ok;
}

bool Properties::getMatrix(const char* name, Matrix* out) const
{
    float v[16];
    const bool ok = parseFloats(getString(name), v, 16);
    if (out)
        *out = ok ? Matrix(v) : Matrix();
    return ok;
}

bool Properties::getPath(const char* name, const std::string& folder, std::string* path) const
{
    const char* value = getString(name);
    if (!value || !*value)
        return false;
    std::string result = FileSystem::resolvePath(folder, value);
    if (!FileSystem::fileExists(result.c_str())) {
        const std::string relative = m_directory + value;
        if (!FileSystem::fileExists(relative.c_str()))
            return false;
        result = relative;
    }
    if (path)
        *path = result;
    return true;
}

void Properties::setString(const char* name, const char* value)
{
    if (!name)
        return;
    for (Property& p : m_properties) {
        if (p.name == name) {
            p.value = value ? value : "";
            p.isVariableReference = false;
            return;
        }
    }
    Property p;
    p.name = name;
    p.value = value ? value : "";
    m_properties.push_back(std::move(p));
}

const char* Properties::getVariable(const char* name, const char* defaultValue) const
{
    if (!name)
        return defaultValue;
    for (const Properties* p = this; p; p = p->m_parent) {
        if (!p->m_variables)
            continue;
        for (const auto& var : *p->m_variables)
            if (var.first == name)
                return var.second.c_str();
    }
    return defaultValue;
}

void Properties::setVariable(const char* name, const char* value)
{
    if (!name)
        return;
    if (!m_variables)
        m_variables.reset(new VariableTable());
    for (auto& var : *m_variables) {
        if (var.first == name) {
            var.second = value ? value : "";
            return;
        }
    }
    m_variables->emplace_back(name, value ? value : "");
}

void Properties::collectVisibleVariables(VariableTable* out) const
{
    for (const Properties* p = this; p; p = p->m_parent) {
        if (!p->m_variables)
            continue;
        for (const auto& var : *p->m_variables) {
            bool shadowed = false;
            for (const auto& seen : *out)
                shadowed = shadowed || seen.first == var.first;
            if (!shadowed)
                out->push_back(var);
        }
    }
}

void Properties::setDirectoryRecursive(const std::string& dir)
{
    m_directory = dir;
    for (Properties* child : m_namespaces)
        child->setDirectoryRecursive(dir);
}

bool Properties::isNumber(const char* text)
{
    if (!text)
        return false;
    const char* p = text;
    if (*p == '-')
        ++p;
    bool digit = false;
    bool point = false;
    for (; *p; ++p) {
        if (*p >= '0' && *p <= '9') {
            digit = true;
        } else if (*p == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digit;
}

} // namespace engine
