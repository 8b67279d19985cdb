#include "ratio_reporter.h"

#include <cstdio>

namespace vantrel::bench {

void RatioReporter::ReportRuns(const std::vector<Run>& runs) {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) {
        if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
            seconds_[run.benchmark_name()] = run.real_accumulated_time / static_cast<double>(run.iterations);
        }
    }
}

void RatioReporter::Finalize() {
    ConsoleReporter::Finalize();
    std::printf("\n%-40s %14s %14s %8s\n", "measured / baseline", "measured ms", "baseline ms", "ratio");
    for (const auto& [measured, baseline] : pairs_) {
        for (const auto& [name, seconds] : seconds_) {
            if (!name.starts_with(measured + "/")) {
                continue;
            }
            const auto base = seconds_.find(baseline + name.substr(measured.size()));
            if (base != seconds_.end() && base->second > 0) {
                std::printf("%-40s %14.3f %14.3f %8.2f\n", name.c_str(), seconds * 1e3, base->second * 1e3,
                            seconds / base->second);
            }
        }
    }
}

} // namespace vantrel::bench
