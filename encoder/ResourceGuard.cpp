#include "ResourceGuard.h"

#include <csignal>
#include <cstring>
#ifdef __unix__
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#if !defined(__unix__)
#define VELMORA_UNDER_SANITIZER 1 // the limits below are POSIX; elsewhere none are set
#elif defined(__SANITIZE_ADDRESS__)
#define VELMORA_UNDER_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMORA_UNDER_SANITIZER 1
#endif
#endif

#ifndef VELMORA_UNDER_SANITIZER
namespace {

void writeRaw(const char* text)
{
    // Only async-signal-safe calls here.
    ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

[[noreturn]] void onFatalSignal(int signal)
{
    if (signal == SIGXCPU)
        writeRaw("Error (GP#1006|Conversion took too long): The conversion used more than its time budget and was "
                 "stopped; the file may be damaged or made to hang converters.\n");
    else
        writeRaw("Error (GP#1007|Converter failed): The converter stopped on an internal fault while reading "
                 "this file; the file may be damaged. Please report it with the file attached.\n");
    _exit(1);
}

} // namespace
#endif

void ResourceGuard::install(const std::string& inputPath)
{
#ifndef VELMORA_UNDER_SANITIZER
    struct stat info;
    const unsigned long long inputSize = stat(inputPath.c_str(), &info) == 0 ? (unsigned long long)info.st_size : 0;
    // Importing needs a small multiple of the file; 100 times plus a fixed
    // 3 GiB is far beyond any honest file and still stops runaway counts.
    const unsigned long long limit = 3ull * 1024 * 1024 * 1024 + 100ull * inputSize;
    struct rlimit memory;
    if (getrlimit(RLIMIT_AS, &memory) == 0 && (memory.rlim_cur == RLIM_INFINITY || memory.rlim_cur > limit)) {
        memory.rlim_cur = limit;
        setrlimit(RLIMIT_AS, &memory);
    }
    struct rlimit cpu;
    if (getrlimit(RLIMIT_CPU, &cpu) == 0 && (cpu.rlim_cur == RLIM_INFINITY || cpu.rlim_cur > kCpuSeconds)) {
        cpu.rlim_cur = kCpuSeconds;
        setrlimit(RLIMIT_CPU, &cpu);
    }
    for (int signal : {SIGXCPU, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        std::signal(signal, onFatalSignal);
#else
    (void)inputPath;
#endif
}
