// zedadu-host info FILE [--json]: what the plug-in reports about a file.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include <CLI/CLI.hpp>

#include "avi/ids.h"
#include "host/cli/answers.h"
#include "host/cli/errors.h"
#include "host/cli/text.h"
#include "host/commands/commands.h"
#include "host/hosting/file_description.h"
#include "host/hosting/reading.h"
#include "host/media/layouts.h"
#include "host/walks/avi_scan.h"
#include "host/walks/path_checks.h"

namespace zedadu::host {
namespace {

std::string LayoutName(const char* formatId) {
    const Layout* layout = FindImageLayout(formatId);
    layout = layout ? layout : FindAudioLayout(formatId);
    return layout ? layout->name : formatId;
}

// The audio codec as its wave format tag names it, the tag beside it: "MP3 (0x0055)".
std::string AudioCodecName(uint16_t tag) {
    static const std::pair<uint16_t, const char*> kNames[] = {
        {0x0001, "PCM"},    {0x0002, "MS ADPCM"},  {0x0003, "IEEE float"}, {0x0006, "A-law"},
        {0x0007, "mu-law"}, {0x0011, "IMA ADPCM"}, {0x0050, "MPEG audio"}, {0x0055, "MP3"},
        {0x00FF, "AAC"},    {0x2000, "AC-3"},      {0xFFFE, "extensible"},
    };
    const char* name = "tag";
    for (const auto& [known, text] : kNames) {
        name = known == tag ? text : name;
    }
    char text[32];
    snprintf(text, sizeof text, "%s (0x%04X)", name, unsigned(tag));
    return text;
}

Json VideoJson(const ReadingFileInfo& info, const std::optional<AviScan>& scan) {
    const auto video = NativeVideo(info);
    if (!video) {
        return nullptr;
    }
    Json layouts = Json::array();
    for (uint32_t i = 0; i < info.videoFormatCount; ++i) {
        const ImageFormatStruct& format = info.videoFormats[i];
        layouts.push_back({{"layout", LayoutName(format.formatId)},
                           {"formatId", FieldText(format.formatId)},
                           {"imageSize", format.imageSize},
                           {"flags", format.flags}});
    }
    const auto codec = scan ? scan->VideoCodec() : std::nullopt;
    return {{"codec", codec ? Json(FourCCText(*codec)) : Json(nullptr)},
            {"frames", info.frameCount},
            {"rate", video->rate},
            {"scale", video->scale},
            {"seconds", VideoSeconds(info)},
            {"width", video->width},
            {"height", video->height},
            {"description", FieldText(video->description)},
            {"layouts", layouts}};
}

Json AudioJson(const ReadingFileInfo& info, const std::optional<AviScan>& scan) {
    const auto audio = NativeAudio(info);
    if (!audio) {
        return nullptr;
    }
    Json layouts = Json::array();
    for (uint32_t i = 0; i < info.audioFormatCount; ++i) {
        const AudioFormatRecord& format = info.audioFormats[i];
        layouts.push_back({{"layout", LayoutName(format.formatId)},
                           {"formatId", FieldText(format.formatId)},
                           {"frameBytes", format.frameBytes}});
    }
    const auto tag = scan ? scan->AudioTag() : std::nullopt;
    return {{"codec", tag ? Json(AudioCodecName(*tag)) : Json(nullptr)},
            {"sampleFrames", info.audioLength},
            {"sampleRate", audio->sampleRate},
            {"channels", audio->channels},
            {"bits", audio->channels ? audio->frameBytes * 8 / audio->channels : 0},
            {"seconds", AudioSeconds(info)},
            {"description", FieldText(audio->description)},
            {"layouts", layouts}};
}

// The file's size and its overall bit rate (every byte over the video's duration, else the
// audio's); no rate for a file without a duration.
struct FileSize {
    uint64_t bytes = 0;
    double bitsPerSecond = 0.0;
};

FileSize SizeOf(const ReadingFile& file) {
    std::error_code error;
    const uint64_t bytes = std::filesystem::file_size(ResolvedInput(file.path()), error);
    const double seconds =
        VideoSeconds(file.info()) > 0 ? VideoSeconds(file.info()) : AudioSeconds(file.info());
    return {error ? 0 : bytes, seconds > 0 && !error ? double(bytes) * 8 / seconds : 0.0};
}

Section Describe(const ReadingFile& file) {
    const ReadingFileInfo& info = file.info();
    const std::optional<AviScan> scan = ScanAvi(ResolvedInput(file.path()));
    const std::string path = info.path ? std::string(info.path) : file.path();
    const FileSize size = SizeOf(file);
    Section section(path);
    section.Set("path", path).Set("modified", FileTimeText(info.lastWriteTime));
    section.Set("index", scan ? Json(IndexKindName(scan->index)) : Json(nullptr));
    section.Set("dv", (info.infoFlags & 8) != 0).Set("bytes", size.bytes);
    section.Set("bitRate", uint64_t(size.bitsPerSecond + 0.5));
    section.Set("video", VideoJson(info, scan)).Set("audio", AudioJson(info, scan));
    DescribeFile(section, info);
    if (scan) {
        if (const auto codec = scan->VideoCodec()) {
            section.Row("video codec", *codec == avi::kUncompressedHandler
                                           ? std::string("DIB (uncompressed)")
                                           : FourCCText(*codec));
        }
        if (const auto tag = scan->AudioTag()) {
            section.Row("audio codec", AudioCodecName(*tag));
        }
        section.Row("index", IndexKindName(scan->index));
    }
    section.Row("file size", size.bitsPerSecond > 0
                                 ? Text("%s, %.0f kb/s overall", ByteCount(size.bytes).c_str(),
                                        size.bitsPerSecond / 1000)
                                 : ByteCount(size.bytes));
    return section;
}

const StreamCodes* FirstStream(const AviScan& scan, FOURCC type) {
    for (const StreamCodes& stream : scan.streams) {
        if (stream.type == type) {
            return &stream;
        }
    }
    return nullptr;
}

// What the headers of a file say whose video codec has no decoder here, which the plug-in does
// not open: frames, rate, size and codec, and the audio.
Section DescribeUndecodable(const std::string& path, const AviScan& scan, FOURCC codec) {
    const StreamCodes& video = *FirstStream(scan, avi::kVideoStream);
    const StreamCodes* audio = FirstStream(scan, avi::kAudioStream);
    const double seconds = video.rate ? double(video.length) * video.scale / video.rate : 0;
    Section section(path);
    section.Set("path", path).Set("decodable", false).Set("index", IndexKindName(scan.index));
    section.Set("video", {{"codec", FourCCText(codec)},
                          {"frames", video.length},
                          {"rate", video.rate},
                          {"scale", video.scale},
                          {"seconds", seconds},
                          {"width", video.width},
                          {"height", std::abs(video.height)}});
    section.Row("frames", Text("%u (%.2f s)", video.length, seconds));
    section.Row("frame rate", FrameRate(video.rate, video.scale));
    section.Row("frame size", Text("%i x %i", video.width, std::abs(video.height)));
    section.Row("video codec", FourCCText(codec) + " (no decoder here: its frames cannot be read)");
    section.Set("audio", nullptr);
    if (audio) {
        section.Set("audio", {{"sampleFrames", scan.PromisedSampleFrames()},
                              {"sampleRate", audio->sampleRate},
                              {"channels", audio->channels},
                              {"bits", audio->bits}});
        section.Row("audio", Text("%llu sample frames, %s, %u-bit, %u channel%s",
                                  static_cast<unsigned long long>(scan.PromisedSampleFrames()),
                                  SampleRateText(audio->sampleRate).c_str(), unsigned(audio->bits),
                                  unsigned(audio->channels), audio->channels == 1 ? "" : "s"));
    }
    section.Row("index", IndexKindName(scan.index));
    return section;
}

// A file the plug-in does not open because its video codec has no decoder here is still described
// from its headers; false for any other file.
bool ReportUndecodable(const std::string& path, FileReports& reports) {
    const std::optional<AviScan> scan = ScanAvi(ResolvedInput(path));
    const auto codec = scan ? UndecodableVideoCodec(*scan) : std::nullopt;
    if (!codec || !FirstStream(*scan, avi::kVideoStream)) {
        return false;
    }
    reports.Add(DescribeUndecodable(path, *scan, *codec));
    return true;
}

// Every file is reported; one that cannot be read is reported as such (in JSON with its error)
// and makes the status 1.
int RunInfo(const FileReportOptions& options) {
    Plugin plugin;
    FileReports reports(options.json);
    int status = kExitOk;
    for (const std::string& path : options.paths) {
        try {
            reports.Add(Describe(ReadingFile(plugin, path)));
        } catch (const HostError& error) {
            if (ReportUndecodable(path, reports)) {
                continue;
            }
            reports.AddFailure(error.what(), {{"path", path}, {"error", error.what()}});
            status = kExitFailed;
        }
    }
    reports.Finish();
    return status;
}

}  // namespace

Command AddInfoCommand(CLI::App& command) {
    return Subcommand(command, AddFileReportOptions, RunInfo);
}

}  // namespace zedadu::host
