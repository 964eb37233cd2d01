// Timing shared by the benchmark programs. The machine is shared, so every
// figure is the median (or the best) of several runs, and CPU time is kept
// beside wall time: it shows the work done, however busy the other cores are.
#pragma once

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace bench {

struct Timing {
    double wall = 0; // seconds
    double cpu = 0; // user + system seconds of this process and its finished children
};

// Wall seconds since construction.
class Stopwatch {
public:
    double seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count(); }

private:
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

inline double cpuSeconds(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// One run of 'work'; *ok turns false when it fails (and is never set true).
inline Timing timeOnce(const std::function<bool()>& work, bool* ok)
{
    const double cpuBefore = cpuSeconds(RUSAGE_SELF) + cpuSeconds(RUSAGE_CHILDREN);
    const Stopwatch stopwatch;
    const bool done = work();
    Timing timing;
    timing.wall = stopwatch.seconds();
    timing.cpu = cpuSeconds(RUSAGE_SELF) + cpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
    if (!done)
        *ok = false;
    return timing;
}

// 'runs' runs of 'work' (at least one); empty as soon as one fails.
inline std::vector<Timing> timeRuns(int runs, const std::function<bool()>& work)
{
    std::vector<Timing> timings;
    bool ok = true;
    for (int i = 0; i < std::max(1, runs) && ok; ++i)
        timings.push_back(timeOnce(work, &ok));
    return ok ? timings : std::vector<Timing>();
}

// By wall time; a zero Timing for no runs.
inline Timing median(std::vector<Timing> timings)
{
    if (timings.empty())
        return Timing();
    std::sort(timings.begin(), timings.end(), [](const Timing& a, const Timing& b) { return a.wall < b.wall; });
    return timings[timings.size() / 2];
}

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline Timing best(const std::vector<Timing>& timings)
{
    if (timings.empty())
        return Timing();
    return *std::min_element(timings.begin(), timings.end(),
                             [](const Timing& a, const Timing& b) { return a.wall < b.wall; });
}

} // namespace bench
