// The reports on standard output: titled sections of label/value rows with aligned columns, or,
// where a command reports in JSON, the same sections as JSON objects; and a progress bar on
// standard error while a terminal watches.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

namespace zedadu::host {

using Json = nlohmann::ordered_json;

// A titled section of rows for the reader, and the members of a JSON object for programs, built
// side by side so that they report the same.
class Section {
  public:
    explicit Section(std::string title) : title_(std::move(title)) {}
    Section& Row(std::string label, std::string value);
    Section& Set(const std::string& key, Json value);
    // Prints the title, then every row with the values in one column.
    void Print(FILE* out = stdout) const;
    const Json& json() const { return json_; }

  private:
    std::string title_;
    std::vector<std::pair<std::string, std::string>> rows_;
    Json json_ = Json::object();
};

// A table for the reader, a heading over each column, and an array of JSON objects for programs, a
// row and its object built side by side.
class Table {
  public:
    explicit Table(std::vector<std::string> headings) : headings_(std::move(headings)) {}
    // One text for each column, and the object that stands for the row in JSON.
    Table& Row(std::vector<std::string> cells, Json object);
    // The headings and the rows in columns as wide as their widest text, or the array of objects.
    void Print(bool json) const;

  private:
    std::vector<std::string> headings_;
    std::vector<std::vector<std::string>> rows_;
    Json objects_ = Json::array();
};

// The reports of a command on several files: each section printed as it comes or, in JSON, their
// objects printed together at the end (an object for one file, an array for several). A file
// that cannot be reported on has its error on standard error, and in JSON an object that says so.
class FileReports {
  public:
    explicit FileReports(bool json) : json_(json) {}
    void Add(const Section& section);
    void AddFailure(const std::string& error, Json object);
    // Prints the JSON document.
    void Finish() const;

  private:
    bool json_;
    Json objects_ = Json::array();
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
