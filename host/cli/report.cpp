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
