// Converts the sample models and a ~200 000-triangle mesh with model-encoder
// and with Assimp's command-line tool ("assimp export INPUT OUTPUT.glb"),
// alternating, and prints wall time and peak resident memory of each child
// (wait4's ru_maxrss) with the ratios ours / Assimp's. Targets: both <= 1.0.
//
//   bench_encoder [--runs N] [model files...]   (default: samples/*.fbx and two large meshes)

#include <algorithm>
#include <chrono>
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

Measure runChild(const std::vector<std::string>& command)
{
    Measure m;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
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
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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

// A 317 x 317 vertex grid with a gentle wave: 199 712 triangles.
std::string writeLargeMesh(const std::string& folder)
{
    const std::string path = folder + "/grid_200k.obj";
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (!out)
        return std::string();
    const int n = 317;
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

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
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
        const std::string grid = writeLargeMesh(work);
        if (!grid.empty())
            inputs.push_back(grid);
    }

    const std::string encoder = MODEL_ENCODER_PATH;
    const bool haveAssimp = runChild({"assimp", "version"}).status == 0;
    std::printf("model-encoder: %s\nassimp tool: %s\nruns per file: at least %d, up to 25 for small files (median "
                "time, highest peak memory)\n\n",
                encoder.c_str(), haveAssimp ? "assimp export INPUT OUTPUT.glb" : "not found (install assimp-utils)",
                runs);
    std::printf("%-36s %10s %10s %7s %10s %10s %7s\n", "file", "ours ms", "assimp ms", "time", "ours MB", "assimp MB",
                "memory");

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
        const double ours = median(oursTimes), theirs = median(theirsTimes);
        oursTotal += ours;
        theirsTotal += theirs;
        const double memoryRatio = theirsPeak > 0 ? double(oursPeak) / double(theirsPeak) : 0;
        worstMemoryRatio = std::max(worstMemoryRatio, memoryRatio);
        failures = failures || oursStatus != 0;
        std::printf("%-36s %10.1f %10.1f %7.2f %10.1f %10.1f %7.2f%s%s\n", baseName(input).substr(0, 36).c_str(),
                    ours * 1000, theirs * 1000, theirs > 0 ? ours / theirs : 0.0, oursPeak / 1024.0,
                    theirsPeak / 1024.0, memoryRatio, oursStatus ? "  (model-encoder failed)" : "",
                    theirsStatus ? "  (assimp failed)" : "");
    }
    std::printf("\n%-36s %10.1f %10.1f %7.2f %10s %10s %7.2f\n", "total time / worst memory ratio", oursTotal * 1000,
                theirsTotal * 1000, theirsTotal > 0 ? oursTotal / theirsTotal : 0.0, "", "", worstMemoryRatio);
    std::printf("targets: time ratio <= 1.00, memory ratio <= 1.00\n");

    std::system((std::string("rm -rf '") + work + "'").c_str());
    return failures ? 1 : 0;
}
