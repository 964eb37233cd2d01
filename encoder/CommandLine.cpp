#include "CommandLine.h"

#include <cstdlib>
#include <initializer_list>
#include <utility>

namespace {

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

template <typename Choice>
bool parseChoice(const std::string& value, std::initializer_list<std::pair<const char*, Choice>> choices, Choice& out)
{
    for (const auto& [name, choice] : choices) {
        if (value == name) {
            out = choice;
            return true;
        }
    }
    return false;
}

bool parseGrouping(const std::string& value, AnimationGrouping& out)
{
    return parseChoice(
        value,
        {{"none", AnimationGrouping::None}, {"root", AnimationGrouping::Root}, {"take", AnimationGrouping::Take}}, out);
}

bool parseCulling(const std::string& value, BackfaceCulling& out)
{
    return parseChoice(value,
                       {{"off", BackfaceCulling::Off},
                        {"ccw", BackfaceCulling::Ccw},
                        {"cw", BackfaceCulling::Cw},
                        {"material", BackfaceCulling::Material}},
                       out);
}

bool parseVerbosity(const std::string& value, int& out)
{
    if (value.empty() || value.size() > 2)
        return false;
    for (char c : value) {
        if (c < '0' || c > '9')
            return false;
    }
    out = std::atoi(value.c_str());
    return true;
}

} // namespace

CommandLine::Outcome CommandLine::parse(const std::vector<std::string>& arguments, EncoderOptions& options,
                                        std::string& problem)
{
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h" || arg == "-help") {
            return Outcome::Help;
        } else if (arg == "--print-messages" && arguments.size() == 2 && i == 0) {
            options.inputPath = arguments[1];
            return Outcome::PrintMessages;
        } else if (startsWith(arg, "-group:")) {
            if (!parseGrouping(arg.substr(7), options.grouping)) {
                problem = "Unknown animation grouping \"" + arg.substr(7) + "\"; use none, root or take.";
                return Outcome::Invalid;
            }
        } else if (startsWith(arg, "-cull:")) {
            if (!parseCulling(arg.substr(6), options.culling)) {
                problem = "Unknown culling mode \"" + arg.substr(6) + "\"; use off, ccw, cw or material.";
                return Outcome::Invalid;
            }
        } else if (arg == "-v") {
            if (i + 1 >= arguments.size() || !parseVerbosity(arguments[i + 1], options.verbosity)) {
                problem = "\"-v\" needs a verbosity level from 0 to 99 as its next argument.";
                return Outcome::Invalid;
            }
            ++i;
        } else if (arg == "-m" || arg == "-options") {
            // Kept so that the application's fixed argument list is accepted: materials are
            // always written, and "-options" selects nothing.
        } else {
            problem = "Unknown option \"" + arg + "\".";
            return Outcome::Invalid;
        }
    }
    if (positional.size() != 2) {
        problem = positional.size() < 2 ? "The input file and the output bundle path are both required."
                                        : "Too many arguments: only the input file and the output bundle path "
                                          "may follow the options.";
        return Outcome::Invalid;
    }
    options.inputPath = positional[0];
    options.outputPath = positional[1];
    return Outcome::Run;
}

std::string CommandLine::helpText()
{
    return "Usage: model-encoder [options] INPUT OUTPUT\n"
           "\n"
           "Converts a 3D model (FBX of any version from 5.0 on, or any other format Assimp reads) into the\n"
           "engine's bundle OUTPUT (normally .../model.gpb). The folder of OUTPUT is the model folder: the\n"
           "material file \"model.material\" and the textures in \"tex/\" are written there, nothing outside it.\n"
           "An FBX file's up axis and unit are applied at its root node, and an STL file is read Z-up (the\n"
           "format's convention): the bundle is Y-up, in metres. Polygons are cut into triangles whole.\n"
           "\n"
           "Options:\n"
           "  -group:none|root|take  How animation curves are grouped into animations (default root):\n"
           "                           take  one animation per take, named after the take;\n"
           "                           root  per take, one animation for each top-level node whose\n"
           "                                 subtree is animated, named \"<take>_<top-level node>\";\n"
           "                           none  per take, one animation for each animated node, named\n"
           "                                 \"<take>_<node>\".\n"
           "                         In ids, characters other than letters, digits, \"_\", \"-\", \".\"\n"
           "                         and non-ASCII ones become \"_\", so that \"model.animation\" can\n"
           "                         name them. Ids that would repeat get a \"__2\", \"__3\", ... suffix.\n"
           "  -cull:off|ccw|cw|material\n"
           "                         Back-face culling written into the materials (default off);\n"
           "                         material: culling off for two-sided source materials, else ccw.\n"
           "  -m                     Write the material file and textures (always on).\n"
           "  -v N                   Verbosity on standard output: 0 quiet, 1 one summary line (with\n"
           "                         the meshes shared between nodes), 2 the same line with the vertex\n"
           "                         cache miss ratio before and after reordering, 3 or more also every\n"
           "                         node and animation.\n"
           "  -options               Accepted for compatibility; has no effect.\n"
           "  --help                 This text.\n"
           "  --print-messages LIST  Prints the messages listed in the file LIST (for each: code, title\n"
           "                         and text, each ended by a zero byte) as a conversion would, for\n"
           "                         checking what reads them; nothing is converted.\n"
           "\n"
           "Warnings and errors are printed as\n"
           "  Warning (GP#2nnn|Short title): long text      (standard output)\n"
           "  Error (GP#1nnn|Short title): long text        (standard error)\n"
           "Exit code: 0 converted, 1 conversion failed, 2 invalid command line.\n";
}
