#include "ShaderIncludes.h"

#include "FileSystem.h"

#include <memory>

namespace engine {

namespace {

const char kDirective[] = "#include";

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A link out of the folder would put another file's text into the shader,
// and into the ".err" file beside it when it fails.
bool isConfinedInclude(const std::string& folder, const std::string& name, const std::string& includePath)
{
    return FileSystem::isConfinedPath(name.c_str())
        && (FileSystem::isAbsolutePath(includePath.c_str()) || FileSystem::isConfinedFile(folder, includePath.c_str()));
}

} // namespace

ShaderIncludes::Outcome ShaderIncludes::expand(const std::string& path, const std::string& source, std::string* out,
                                               const std::string& folder)
{
    Budget budget;
    budget.folder = folder;
    budget.bytes = source.size();
    if (budget.bytes > kMaxBytes)
        return Outcome::TooLarge;
    return expandInto(path, source, out, 0, &budget);
}

ShaderIncludes::Outcome ShaderIncludes::expandInto(const std::string& path, const std::string& source, std::string* out,
                                                   int depth, Budget* budget)
{
    size_t position = 0;
    while (true) {
        const size_t directive = source.find(kDirective, position);
        if (directive == std::string::npos) {
            out->append(source, position, std::string::npos);
            return Outcome::Expanded;
        }
        out->append(source, position, directive - position);
        const size_t open = source.find('"', directive + sizeof(kDirective) - 1);
        const size_t close = open == std::string::npos ? open : source.find('"', open + 1);
        if (close == std::string::npos) {
            out->append(source, directive, std::string::npos);
            return Outcome::Expanded;
        }
        if (depth >= kMaxDepth || ++budget->includes > kMaxIncludes)
            return Outcome::TooLarge;
        const std::string name = source.substr(open + 1, close - open - 1);
        const std::string includePath = folderOf(path) + name;
        int size = 0;
        std::unique_ptr<char[]> text(isConfinedInclude(budget->folder, name, includePath) ? FileSystem::readAll(
                                         FileSystem::resolvePath(budget->folder, includePath.c_str()).c_str(), &size)
                                                                                          : nullptr);
        if (!text)
            return Outcome::Unreadable;
        budget->bytes += size_t(size);
        if (budget->bytes > kMaxBytes)
            return Outcome::TooLarge;
        const Outcome included = expandInto(includePath, std::string(text.get(), size_t(size)), out, depth + 1, budget);
        if (included != Outcome::Expanded)
            return included;
        position = close + 1;
    }
}

} // namespace engine
