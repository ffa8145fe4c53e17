// What the benchmarks of a run report, kept for the ratios each benchmark program prints at its
// end.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace zedadu::bench {

// The median of the ratios of the i-th repetitions of two benchmarks that ran in turn: a machine
// whose speed drifts during the run moves both sides of each pair alike. 0 without a pair.
inline double MedianOfPairedRatios(const std::vector<double>& ours,
                                   const std::vector<double>& baseline) {
    std::vector<double> ratios;
    for (size_t i = 0; i < std::min(ours.size(), baseline.size()); ++i) {
        ratios.push_back(ours[i] / baseline[i]);
    }
    if (ratios.empty()) {
        return 0;
    }
    std::sort(ratios.begin(), ratios.end());
    return ratios[ratios.size() / 2];
}

// Keeps each benchmark's time per iteration, by its name and arguments ("WriterOpenDml/1"): the
// median of its repetitions where there are some, else its run.
class MedianTimesReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.error_occurred || !(median || run.run_type == Run::RT_Iteration)) {
                continue;
            }
            const std::string& args = run.run_name.args;
            const std::string name = run.run_name.function_name + (args.empty() ? "" : "/" + args);
            (median ? medians_ : seconds_)[name] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }

  protected:
    double Seconds(const std::string& name) const {
        const auto median = medians_.find(name);
        const auto last = seconds_.find(name);
        return median != medians_.end() ? median->second
               : last != seconds_.end() ? last->second
                                        : 0;
    }

    // One line of the table at the end: what is compared, in a column this wide, and the ratio.
    void PrintRatio(const std::string& what, const std::string& numerator,
                    const std::string& denominator, int width) const {
        if (Seconds(numerator) > 0 && Seconds(denominator) > 0) {
            std::printf("%-*s %6.3f\n", width, what.c_str(),
                        Seconds(numerator) / Seconds(denominator));
        }
    }

  private:
    std::map<std::string, double> medians_;
    std::map<std::string, double> seconds_;
};

}  // namespace zedadu::bench
