// A console reporter that ends with each benchmark's time as a ratio of its baseline's.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vantrel::bench {

class RatioReporter final : public benchmark::ConsoleReporter {
public:
    // Each pair names a measured benchmark and its baseline by their prefix before the first '/'.
    explicit RatioReporter(std::vector<std::pair<std::string, std::string>> pairs) : pairs_(std::move(pairs)) {}

    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;
    // Real seconds per iteration of the benchmark of that full name; 0 when it did not run.
    [[nodiscard]] double Seconds(const std::string& name) const {
        const auto found = seconds_.find(name);
        return found == seconds_.end() ? 0 : found->second;
    }

private:
    std::vector<std::pair<std::string, std::string>> pairs_;
    std::map<std::string, double> seconds_; // real time per iteration, by full benchmark name
};

} // namespace vantrel::bench
