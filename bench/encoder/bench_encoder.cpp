// Converts the sample models, a ~200 000-triangle mesh and a ~1.2 million-triangle
// grid with model-encoder and with Assimp's command-line tool ("assimp export
// INPUT OUTPUT.glb"), alternating, and prints wall time and peak resident memory
// of each child (wait4's ru_maxrss) with the ratios ours / Assimp's, and the
// vertex cache miss ratio (ACMR) of the source's triangle order against the
// order written. Targets: time <= 0.5, memory <= 0.4. Then the bundle size of a
// scene of 30 instances of one mesh against the same scene with 30 copies.
//
//   bench_encoder [--runs N] [model files...]   (default: samples/*.fbx and the large meshes)

#include "BenchTiming.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Measure {
    double seconds = 0;
    long peakKb = 0;
    int status = -1;
};

Measure runChild(const std::vector<std::string>& command, const std::string& outputFile = "/dev/null")
{
    Measure m;
    const bench::Stopwatch stopwatch;
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& a : command)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    std::memset(&usage, 0, sizeof(usage));
    if (pid < 0 || wait4(pid, &status, 0, &usage) < 0)
        return m;
    m.seconds = stopwatch.seconds();
    m.peakKb = usage.ru_maxrss;
    m.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return m;
}

bool exists(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::vector<std::string> fbxFilesIn(const std::string& folder)
{
    std::vector<std::string> files;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() > 4 && (name.substr(name.size() - 4) == ".fbx" || name.substr(name.size() - 4) == ".FBX"))
                files.push_back(folder + "/" + name);
        }
        closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

// An n x n vertex grid with a gentle wave: 317 gives 199 712 triangles, 775 gives 1 198 152.
std::string writeGrid(const std::string& folder, int n)
{
    const std::string path = folder + "/grid_" + std::to_string(n) + ".obj";
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (!out)
        return std::string();
    for (int y = 0; y < n; ++y) {
        for (int x = 0; x < n; ++x)
            std::fprintf(out, "v %d %d %.4f\n", x, y, 0.5 * std::sin(x * 0.1) * std::cos(y * 0.13));
    }
    for (int y = 0; y + 1 < n; ++y) {
        for (int x = 0; x + 1 < n; ++x) {
            const int a = y * n + x + 1;
            std::fprintf(out, "f %d %d %d\nf %d %d %d\n", a, a + 1, a + n + 1, a, a + n + 1, a + n);
        }
    }
    std::fclose(out);
    return path;
}

// A Collada scene of 30 nodes in a row, each drawing a 24 x 24 quad grid: all the same geometry
// (`shared`), or 30 identical copies of it.
std::string writeInstancedScene(const std::string& folder, bool shared)
{
    const std::string path = folder + (shared ? "/instanced.dae" : "/copies.dae");
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (!out)
        return std::string();
    const int n = 25, nodes = 30;
    std::fprintf(out,
                 "<?xml version=\"1.0\"?>\n<COLLADA xmlns=\"http://www.collada.org/2005/11/COLLADASchema\" "
                 "version=\"1.4.1\">\n<asset><unit meter=\"1\"/><up_axis>Y_UP</up_axis></asset>\n"
                 "<library_geometries>\n");
    for (int g = 0; g < (shared ? 1 : nodes); ++g) {
        std::fprintf(out, "<geometry id=\"g%d\"><mesh><source id=\"p%d\"><float_array id=\"a%d\" count=\"%d\">", g, g,
                     g, n * n * 3);
        for (int v = 0; v < n * n; ++v)
            std::fprintf(out, "%d %d %.3f ", v % n, v / n, 0.3 * std::sin(v * 0.7));
        std::fprintf(out,
                     "</float_array><technique_common><accessor source=\"#a%d\" count=\"%d\" stride=\"3\">"
                     "<param name=\"X\" type=\"float\"/><param name=\"Y\" type=\"float\"/>"
                     "<param name=\"Z\" type=\"float\"/></accessor></technique_common></source>"
                     "<vertices id=\"v%d\"><input semantic=\"POSITION\" source=\"#p%d\"/></vertices>"
                     "<triangles count=\"%d\"><input semantic=\"VERTEX\" source=\"#v%d\" offset=\"0\"/><p>",
                     g, n * n, g, g, (n - 1) * (n - 1) * 2, g);
        for (int y = 0; y + 1 < n; ++y) {
            for (int x = 0; x + 1 < n; ++x) {
                const int a = y * n + x;
                std::fprintf(out, "%d %d %d %d %d %d ", a, a + 1, a + n + 1, a, a + n + 1, a + n);
            }
        }
        std::fprintf(out, "</p></triangles></mesh></geometry>\n");
    }
    std::fprintf(out, "</library_geometries>\n<library_visual_scenes><visual_scene id=\"s\">\n");
    for (int i = 0; i < nodes; ++i)
        std::fprintf(out,
                     "<node id=\"n%d\" name=\"crate%d\"><translate>%d 0 0</translate>"
                     "<instance_geometry url=\"#g%d\"/></node>\n",
                     i, i, i * 30, shared ? 0 : i);
    std::fprintf(out,
                 "</visual_scene></library_visual_scenes>\n<scene><instance_visual_scene url=\"#s\"/></scene>\n"
                 "</COLLADA>\n");
    std::fclose(out);
    return path;
}

long fileSize(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? long(info.st_size) : -1;
}

// The "cache miss ratio A -> B" of model-encoder's summary line.
bool cacheMissRatios(const std::string& outputFile, double& before, double& after)
{
    std::FILE* in = std::fopen(outputFile.c_str(), "r");
    if (!in)
        return false;
    char line[4096];
    bool found = false;
    while (!found && std::fgets(line, sizeof(line), in)) {
        const char* at = std::strstr(line, "cache miss ratio ");
        found = at && std::sscanf(at, "cache miss ratio %lf -> %lf", &before, &after) == 2;
    }
    std::fclose(in);
    return found;
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 3;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            inputs.push_back(argv[i]);
    }

    char workTemplate[] = "/tmp/bench_encoder_XXXXXX";
    const char* work = mkdtemp(workTemplate);
    if (!work) {
        std::perror("mkdtemp");
        return 1;
    }
    if (inputs.empty()) {
        inputs = fbxFilesIn(SAMPLES_DIR);
        const std::string shared = std::string(SHARED_MODELS_DIR) + "/generated/e_highpoly_200k.fbx";
        if (exists(shared))
            inputs.push_back(shared);
        for (int n : {317, 775}) {
            const std::string grid = writeGrid(work, n);
            if (!grid.empty())
                inputs.push_back(grid);
        }
    }

    const std::string encoder = MODEL_ENCODER_PATH;
    const bool haveAssimp = runChild({"assimp", "version"}).status == 0;
    std::printf("model-encoder: %s\nassimp tool: %s\nruns per file: at least %d, up to 25 for small files (median "
                "time, highest peak memory)\n\n",
                encoder.c_str(), haveAssimp ? "assimp export INPUT OUTPUT.glb" : "not found (install assimp-utils)",
                runs);
    std::printf("%-36s %10s %10s %7s %10s %10s %7s %15s\n", "file", "ours ms", "assimp ms", "time", "ours MB",
                "assimp MB", "memory", "ACMR src->ours");

    double oursTotal = 0, theirsTotal = 0;
    double worstMemoryRatio = 0;
    bool failures = false;
    for (const std::string& input : inputs) {
        std::vector<double> oursTimes, theirsTimes;
        long oursPeak = 0, theirsPeak = 0;
        int oursStatus = 0, theirsStatus = 0;
        const std::string folder = std::string(work) + "/model";
        mkdir(folder.c_str(), 0755);
        // Small files finish in milliseconds, where process start-up noise dominates: run them more often.
        double spent = 0;
        for (int r = 0; r < runs || (spent < 0.5 && r < 25); ++r) {
            const Measure ours = runChild(
                {encoder, "-group:root", "-cull:off", "-m", "-v", "2", "-options", input, folder + "/model.gpb"});
            oursTimes.push_back(ours.seconds);
            spent += ours.seconds;
            oursPeak = std::max(oursPeak, ours.peakKb);
            oursStatus = std::max(oursStatus, ours.status);
            if (haveAssimp) {
                const Measure theirs = runChild({"assimp", "export", input, std::string(work) + "/out.glb"});
                theirsTimes.push_back(theirs.seconds);
                theirsPeak = std::max(theirsPeak, theirs.peakKb);
                theirsStatus = std::max(theirsStatus, theirs.status);
            }
        }
        const std::string summary = std::string(work) + "/summary.txt";
        runChild({encoder, "-group:root", "-cull:off", "-m", "-v", "2", "-options", input, folder + "/model.gpb"},
                 summary);
        double acmrBefore = 0, acmrAfter = 0;
        char acmr[64] = "-";
        if (cacheMissRatios(summary, acmrBefore, acmrAfter))
            std::snprintf(acmr, sizeof(acmr), "%.3f -> %.3f", acmrBefore, acmrAfter);
        const double ours = bench::median(oursTimes), theirs = bench::median(theirsTimes);
        oursTotal += ours;
        theirsTotal += theirs;
        const double memoryRatio = theirsPeak > 0 ? double(oursPeak) / double(theirsPeak) : 0;
        worstMemoryRatio = std::max(worstMemoryRatio, memoryRatio);
        failures = failures || oursStatus != 0;
        std::printf("%-36s %10.1f %10.1f %7.2f %10.1f %10.1f %7.2f %15s%s%s\n", baseName(input).substr(0, 36).c_str(),
                    ours * 1000, theirs * 1000, theirs > 0 ? ours / theirs : 0.0, oursPeak / 1024.0,
                    theirsPeak / 1024.0, memoryRatio, acmr, oursStatus ? "  (model-encoder failed)" : "",
                    theirsStatus ? "  (assimp failed)" : "");
    }
    std::printf("\n%-36s %10.1f %10.1f %7.2f %10s %10s %7.2f\n", "total time / worst memory ratio", oursTotal * 1000,
                theirsTotal * 1000, theirsTotal > 0 ? oursTotal / theirsTotal : 0.0, "", "", worstMemoryRatio);
    std::printf("targets: time ratio <= 0.50, memory ratio <= 0.40 on the large meshes\n\n");

    long sizes[2] = {-1, -1};
    for (int shared = 0; shared < 2; ++shared) {
        const std::string scene = writeInstancedScene(work, shared == 1);
        const std::string bundle = std::string(work) + "/model/instances.gpb";
        if (!scene.empty() && runChild({encoder, "-m", scene, bundle}).status == 0)
            sizes[shared] = fileSize(bundle);
    }
    std::printf("30 instances of one mesh: bundle %.1f KB, with 30 copies %.1f KB, ratio %.3f\n", sizes[1] / 1024.0,
                sizes[0] / 1024.0, sizes[0] > 0 ? double(sizes[1]) / double(sizes[0]) : 0.0);

    std::system((std::string("rm -rf '") + work + "'").c_str());
    return failures ? 1 : 0;
}
