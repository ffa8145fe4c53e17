// The reports on standard output: titled sections of label/value rows with aligned columns, and
// a progress bar on standard error while a terminal watches.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace zedadu::host {

class Section {
  public:
    explicit Section(std::string title) : title_(std::move(title)) {}
    Section& Row(std::string label, std::string value);
    // Prints the title, then every row with the values in one column.
    void Print(FILE* out = stdout) const;

  private:
    std::string title_;
    std::vector<std::pair<std::string, std::string>> rows_;
};

// Progress as lines on standard error, one a second and one at the end, where no terminal shows
// the bar (--stats).
void ReportProgressAsLines();

class ProgressBar {
  public:
    // Shown only when standard error is a terminal; as lines with --stats otherwise.
    ProgressBar(std::string what, uint64_t total);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Update(uint64_t done);

  private:
    void PrintLine(uint64_t done, int percent);

    std::string what_;
    uint64_t total_;
    bool shown_;
    bool lines_;
    int lastPercent_ = -1;
    std::chrono::steady_clock::time_point lastLine_;
};

}  // namespace zedadu::host
