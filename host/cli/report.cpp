#include "host/cli/report.h"

#include <unistd.h>

#include <algorithm>

namespace zedadu::host {
namespace {

bool progressLines = false;

}  // namespace

void ReportProgressAsLines() {
    progressLines = true;
}

Section& Section::Row(std::string label, std::string value) {
    rows_.emplace_back(std::move(label), std::move(value));
    return *this;
}

Section& Section::Set(const std::string& key, Json value) {
    json_[key] = std::move(value);
    return *this;
}

void FileReports::Add(const Section& section) {
    if (json_) {
        objects_.push_back(section.json());
    } else {
        section.Print();
    }
}

void FileReports::AddFailure(const std::string& error, Json object) {
    fprintf(stderr, "zedadu-host: %s\n", error.c_str());
    objects_.push_back(std::move(object));
}

void FileReports::Finish() const {
    if (json_) {
        printf("%s\n", (objects_.size() == 1 ? objects_.front() : objects_).dump(2).c_str());
    }
}

void Section::Print(FILE* out) const {
    size_t labelWidth = 0;
    for (const auto& [label, value] : rows_) {
        labelWidth = std::max(labelWidth, label.size());
    }
    fprintf(out, "%s\n", title_.c_str());
    for (const auto& [label, value] : rows_) {
        fprintf(out, "  %-*s  %s\n", int(labelWidth), label.c_str(), value.c_str());
    }
    fprintf(out, "\n");
}

Table& Table::Row(std::vector<std::string> cells, Json object) {
    cells.resize(headings_.size());
    rows_.push_back(std::move(cells));
    objects_.push_back(std::move(object));
    return *this;
}

void Table::Print(bool json) const {
    if (json) {
        printf("%s\n", objects_.dump(2).c_str());
        return;
    }
    std::vector<size_t> widths(headings_.size());
    for (size_t column = 0; column < headings_.size(); ++column) {
        widths[column] = headings_[column].size();
        for (const std::vector<std::string>& row : rows_) {
            widths[column] = std::max(widths[column], row[column].size());
        }
    }
    const auto printLine = [&widths](const std::vector<std::string>& cells) {
        std::string line;
        for (size_t column = 0; column < cells.size(); ++column) {
            line += cells[column];
            if (column + 1 < cells.size()) {
                line += std::string(widths[column] - cells[column].size() + 2, ' ');
            }
        }
        printf("%s\n", line.c_str());
    };
    printLine(headings_);
    for (const std::vector<std::string>& row : rows_) {
        printLine(row);
    }
}

ProgressBar::ProgressBar(std::string what, uint64_t total)
    : what_(std::move(what)),
      total_(std::max<uint64_t>(total, 1)),
      shown_(isatty(STDERR_FILENO)),
      lines_(!shown_ && progressLines),
      lastLine_(std::chrono::steady_clock::now()) {}

ProgressBar::~ProgressBar() {
    if (shown_ && lastPercent_ >= 0) {
        fprintf(stderr, "\r\033[K");
        fflush(stderr);
    }
}

void ProgressBar::PrintLine(uint64_t done, int percent) {
    const auto now = std::chrono::steady_clock::now();
    if (done < total_ && now - lastLine_ < std::chrono::seconds(1)) {
        return;
    }
    lastLine_ = now;
    fprintf(stderr, "%s: %llu/%llu (%d%%)\n", what_.c_str(), static_cast<unsigned long long>(done),
            static_cast<unsigned long long>(total_), percent);
    fflush(stderr);
}

void ProgressBar::Update(uint64_t done) {
    constexpr int kWidth = 40;
    const int percent = int(std::min<uint64_t>(done, total_) * 100 / total_);
    if (lines_) {
        PrintLine(done, percent);
        return;
    }
    if (!shown_ || percent == lastPercent_) {
        return;
    }
    lastPercent_ = percent;
    const int filled = percent * kWidth / 100;
    fprintf(stderr, "\r%s [%s%s] %3d%%  %llu/%llu", what_.c_str(), std::string(filled, '#').c_str(),
            std::string(kWidth - filled, '.').c_str(), percent,
            static_cast<unsigned long long>(done), static_cast<unsigned long long>(total_));
    fflush(stderr);
}

}  // namespace zedadu::host
