// Reading a large bundle against the floor of reading its bytes once, and
// the --info summary against "assimp info" on the source, in the same run.
// Prints the best of several runs of each and the ratios.
#include "BundleReader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

const int kRuns = 5;

double bestSeconds(const std::function<bool()>& work)
{
    double best = 1e30;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!work())
            return -1.0;
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

bool readOnce(const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    struct stat info;
    stat(path.c_str(), &info);
    std::vector<unsigned char> bytes(size_t(info.st_size));
    const bool ok = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
    std::fclose(file);
    return ok;
}

bool readBundle(const std::string& path)
{
    engine::BundleReader reader;
    engine::BundleData data;
    return reader.openFile(path.c_str()) && reader.readScene(nullptr, &data) && !data.meshes.empty();
}

bool run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

} // namespace

int main()
{
    const std::string source = std::string(SHARED_MODELS_DIR) + "/generated/e_highpoly_200k.fbx";
    const std::string folder = "bench_bundle_model";
    const std::string bundle = folder + "/model.gpb";
    if (!run("mkdir -p " + folder) || !run(std::string(MODEL_ENCODER_PATH) + " '" + source + "' " + bundle)) {
        std::fprintf(stderr, "bench_bundle: cannot convert %s\n", source.c_str());
        return 1;
    }
    const double floor = bestSeconds([&] { return readOnce(bundle); });
    const double reader = bestSeconds([&] { return readBundle(bundle); });
    std::printf("read 200k-triangle bundle: reader %.1f ms, one read call %.1f ms, ratio %.2f\n", reader * 1e3,
                floor * 1e3, reader / floor);
    const double info = bestSeconds([&] { return run(std::string(APP_PATH) + " --info " + folder); });
    const double assimp = bestSeconds([&] { return run("assimp info '" + source + "'"); });
    if (info < 0 || assimp < 0) {
        std::printf("--info or assimp info failed\n");
        return 1;
    }
    std::printf("--info %.1f ms, assimp info on the FBX %.1f ms, ratio %.2f\n", info * 1e3, assimp * 1e3,
                info / assimp);
    return 0;
}
