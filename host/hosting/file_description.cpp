#include "host/hosting/file_description.h"

#include <ctime>

#include "host/cli/text.h"
#include "host/hosting/reading.h"
#include "host/media/layouts.h"

namespace zedadu::host {
namespace {

// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr uint64_t kUnixEpochInFileTime = 116444736000000000ull;

template <typename Format>
std::string LayoutList(const Format* formats, uint32_t count) {
    std::string list;
    for (uint32_t i = 0; i < count && formats; ++i) {
        list += (i ? ", " : "") + LayoutLabel(formats[i].formatId);
    }
    return list.empty() ? "none" : list;
}

void DescribeVideo(Section& section, const ReadingFileInfo& info) {
    const auto video = NativeVideo(info);
    if (!video) {
        section.Row("video", "none");
        return;
    }
    section.Row("frames", Text("%u (%s)", info.frameCount, Duration(VideoSeconds(info)).c_str()));
    section.Row("frame rate", Text("%s (%u/%u)", FrameRate(video->rate, video->scale).c_str(),
                                   video->rate, video->scale));
    section.Row("frame size", Text("%i x %i", video->width, video->height));
    section.Row("video", FieldText(video->description));
    section.Row("offered as", LayoutList(info.videoFormats, info.videoFormatCount));
}

void DescribeAudio(Section& section, const ReadingFileInfo& info) {
    const auto audio = NativeAudio(info);
    if (!audio) {
        section.Row("audio", "none");
        return;
    }
    const uint32_t bits = audio->channels ? audio->frameBytes * 8 / audio->channels : 0;
    section.Row("audio", Text("%s (%s), %s", Counted(info.audioLength, "sample frame").c_str(),
                              Duration(AudioSeconds(info)).c_str(),
                              AudioText(audio->sampleRate, bits, audio->channels).c_str()));
    section.Row("offered as", LayoutList(info.audioFormats, info.audioFormatCount));
}

}  // namespace

std::string FileTimeText(const uint32_t fileTime[2]) {
    const uint64_t ticks = uint64_t(fileTime[1]) << 32 | fileTime[0];
    if (ticks < kUnixEpochInFileTime) {
        return "unknown";
    }
    const auto seconds = std::time_t((ticks - kUnixEpochInFileTime) / 10000000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return text;
}

double VideoSeconds(const ReadingFileInfo& info) {
    const auto video = NativeVideo(info);
    return video && video->rate ? double(info.frameCount) * video->scale / video->rate : 0.0;
}

double AudioSeconds(const ReadingFileInfo& info) {
    const auto audio = NativeAudio(info);
    return audio && audio->sampleRate ? double(info.audioLength) / audio->sampleRate : 0.0;
}

void DescribeFile(Section& section, const ReadingFileInfo& info) {
    DescribeVideo(section, info);
    DescribeAudio(section, info);
    if (info.infoFlags & 8) {
        section.Row("flags", "DV video");
    }
    section.Row("modified", FileTimeText(info.lastWriteTime));
}

}  // namespace zedadu::host
