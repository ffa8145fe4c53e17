// zedadu-host check FILE... [--json]: reads every frame and every sample frame of each file
// through the plug-in and says what a user needs before trusting a capture: the index its reading
// uses, the frames that fail by number, the audio that fails, and a summary. Exit status 0 when
// everything was read, 1 otherwise.
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "host/cli/answers.h"
#include "host/cli/errors.h"
#include "host/cli/report.h"
#include "host/cli/text.h"
#include "host/commands/commands.h"
#include "host/hosting/reading.h"
#include "host/walks/avi_scan.h"
#include "host/walks/path_checks.h"
#include "host/walks/video_chunks.h"

namespace zedadu::host {
namespace {

using Span = std::pair<uint64_t, uint64_t>;  // first and last, inclusive

struct CheckReport {
    std::string path;
    std::optional<std::string> error;  // why the plug-in could not open the file
    std::optional<IndexKind> index;
    uint32_t frames = 0;
    std::vector<Span> failedFrames;
    uint64_t sampleFrames = 0;
    std::vector<Span> failedAudio;
    uint64_t missingFrames = 0;  // promised by the headers beyond what the file holds
    uint64_t missingSampleFrames = 0;

    bool complete() const {
        return !error && failedFrames.empty() && failedAudio.empty() && !missingFrames &&
               !missingSampleFrames;
    }
};

// Adds [first, last] to the spans, joining it to the last span when they touch.
void AddSpan(std::vector<Span>& spans, uint64_t first, uint64_t last) {
    if (!spans.empty() && spans.back().second + 1 == first) {
        spans.back().second = last;
    } else {
        spans.emplace_back(first, last);
    }
}

uint64_t SpanTotal(const std::vector<Span>& spans) {
    uint64_t total = 0;
    for (const auto& [first, last] : spans) {
        total += last - first + 1;
    }
    return total;
}

// "12, 40 to 45"
std::string SpanText(const std::vector<Span>& spans) {
    std::string text;
    for (const auto& [first, last] : spans) {
        text += (text.empty() ? "" : ", ") +
                (first == last ? std::to_string(first)
                               : std::to_string(first) + " to " + std::to_string(last));
    }
    return text;
}

// Every frame in the first layout the file offers, the cheapest for its decompressor. A frame
// fails when the plug-in cannot read it, or when the compressor layer reports its chunk as
// damaged (the plug-in then delivers what the decompressor drew).
void CheckFrames(const ReadingFile& file, const std::string& path, CheckReport& report) {
    const ReadingFileInfo& info = file.info();
    if (!NativeVideo(info)) {
        return;
    }
    const Layout* layout = FindImageLayout(FieldText(info.videoFormats[0].formatId));
    layout = layout ? layout : FindImageLayout("rgb24");
    report.frames = info.frameCount;
    const auto damage = DamageFinder::Open(path, info.frameCount);
    ProgressBar progress("frames", info.frameCount);
    for (uint32_t i = 0; i < info.frameCount; ++i) {
        bool failed = damage && damage->NextDamaged();
        try {
            ReadFrame(file, i, *layout);
        } catch (const HostError&) {
            failed = true;
        }
        if (failed) {
            AddSpan(report.failedFrames, i, i);
        }
        progress.Update(i + 1);
    }
}

// Reads [first, first + count); what a read refuses or does not deliver (audio the decoder could
// not decode, frames the index does not cover) is narrowed down in smaller pieces, down to
// `smallest` sample frames, so that one bad chunk does not fail a whole second.
void CheckSamples(const ReadingFile& file, uint64_t first, uint32_t count, uint32_t smallest,
                  CheckReport& report) {
    std::vector<uint8_t> samples;
    uint32_t delivered = 0;
    try {
        delivered = ReadSamples(file, first, count, *FindAudioLayout("pcm16"), samples);
    } catch (const HostError&) {
        // a refused read delivered nothing
    }
    if (delivered >= count) {
        return;
    }
    first += delivered;
    count -= delivered;
    if (count <= smallest) {
        AddSpan(report.failedAudio, first, first + count - 1);
        return;
    }
    const uint32_t piece = std::max(smallest, count / 8);
    for (uint32_t done = 0; done < count; done += piece) {
        CheckSamples(file, first + done, std::min(piece, count - done), smallest, report);
    }
}

// Every sample frame, a second at a time; sample frames that come as silence inside the stream
// (beyond what its index covers) fail too.
void CheckAudio(const ReadingFile& file, CheckReport& report) {
    const auto audio = NativeAudio(file.info());
    if (!audio) {
        return;
    }
    const uint32_t block = std::max<uint32_t>(audio->sampleRate, 1);
    report.sampleFrames = file.info().audioLength;
    ProgressBar progress("audio", report.sampleFrames);
    for (uint64_t first = 0; first < report.sampleFrames; first += block) {
        const auto count = uint32_t(std::min<uint64_t>(block, report.sampleFrames - first));
        CheckSamples(file, first, count, std::max<uint32_t>(block / 512, 1), report);
        progress.Update(first + count);
    }
}

uint64_t Shortfall(uint64_t promised, uint64_t held) {
    return promised > held ? promised - held : 0;
}

CheckReport CheckFile(const Plugin& plugin, const std::string& path) {
    CheckReport report;
    report.path = path;
    try {
        CheckReadable(path);
        const auto scan = ScanAvi(ResolvedInput(path));
        if (scan && scan->verdict == AviScan::Verdict::kAvi) {
            report.index = scan->index;
        }
        const ReadingFile file(plugin, path);
        CheckFrames(file, ResolvedInput(path), report);
        CheckAudio(file, report);
        if (scan) {
            report.missingFrames = Shortfall(scan->PromisedFrames(), report.frames);
            report.missingSampleFrames =
                Shortfall(scan->PromisedSampleFrames(), report.sampleFrames);
        }
    } catch (const HostError& error) {
        report.error = error.what();
    }
    return report;
}

std::string Outcome(const std::vector<Span>& failed, uint64_t total, const char* what) {
    if (failed.empty()) {
        return Text("%s read, none failed", Counted(total, what).c_str());
    }
    return Text("%llu of %s failed: %s", static_cast<unsigned long long>(SpanTotal(failed)),
                Counted(total, what).c_str(), SpanText(failed).c_str());
}

Json SpansJson(const std::vector<Span>& spans) {
    Json list = Json::array();
    for (const auto& [first, last] : spans) {
        list.push_back({first, last});
    }
    return list;
}

std::string ResultText(const CheckReport& report) {
    if (report.complete()) {
        return "every frame and sample frame read";
    }
    return report.failedFrames.empty() && report.failedAudio.empty()
               ? "incomplete: the file holds less than its headers promise"
               : "some of the file cannot be read";
}

Json IndexJson(const CheckReport& report) {
    return report.index ? Json(IndexKindName(*report.index)) : Json(nullptr);
}

Section Describe(const CheckReport& report) {
    Section section(report.path);
    section.Set("path", report.path).Set("complete", report.complete());
    section.Set("index", IndexJson(report));
    if (report.index) {
        section.Row("index", IndexKindName(*report.index));
    }
    section.Row("frames", report.frames ? Outcome(report.failedFrames, report.frames, "frame")
                                        : std::string("no video"));
    section.Set("frames", report.frames).Set("failedFrames", SpansJson(report.failedFrames));
    section.Row("audio", report.sampleFrames
                             ? Outcome(report.failedAudio, report.sampleFrames, "sample frame")
                             : std::string("no audio"));
    section.Set("sampleFrames", report.sampleFrames)
        .Set("failedSampleFrames", SpansJson(report.failedAudio));
    if (report.missingFrames || report.missingSampleFrames) {
        section.Row("missing", Text("%s and %s that the headers promise are not in the file "
                                    "(zedadu-host repair may help)",
                                    Counted(report.missingFrames, "frame").c_str(),
                                    Counted(report.missingSampleFrames, "sample frame").c_str()));
    }
    section.Set("missingFrames", report.missingFrames)
        .Set("missingSampleFrames", report.missingSampleFrames);
    section.Row("result", ResultText(report));
    return section;
}

int RunCheck(const FileReportOptions& options) {
    Plugin plugin;
    FileReports reports(options.json);
    bool complete = true;
    for (const std::string& path : options.paths) {
        const CheckReport report = CheckFile(plugin, path);
        complete = complete && report.complete();
        if (report.error) {
            reports.AddFailure(*report.error, {{"path", report.path},
                                               {"complete", false},
                                               {"index", IndexJson(report)},
                                               {"error", *report.error}});
        } else {
            reports.Add(Describe(report));
        }
    }
    reports.Finish();
    return complete ? kExitOk : kExitFailed;
}

}  // namespace

Command AddCheckCommand(CLI::App& command) {
    return Subcommand(command, AddFileReportOptions, RunCheck);
}

}  // namespace zedadu::host
