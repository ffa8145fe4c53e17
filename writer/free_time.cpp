// How much of the chosen formats fits on the target drive: the bytes a second that video and
// audio will take, against the drive's free bytes.
#include <algorithm>

#include "platform/hostlib/hostlib.h"
#include "writer/writer.h"
#include "writer/writer_internal.h"

namespace zedadu::writer {
namespace {

// Truncates toward zero into an unsigned 32-bit count, saturating instead of wrapping.
uint32_t TruncatedCount(double value) {
    return static_cast<uint32_t>(std::clamp(value, 0.0, double(0xFFFFFFFFu)));
}

double FramesPerSecond(const ImageFormatStruct& video) {
    return video.scale ? double(video.rate) / double(video.scale) : 0.0;
}

uint64_t VideoBytesPerSecond(const ImageFormatStruct* video) {
    constexpr uint64_t kBytesPerDataRateUnit = 1000;
    constexpr uint32_t kQualityEstimateFloor = 100;
    constexpr double kQualityToFrameShare = 0.00005;  // quality 10000 keeps half the frame
    if (!video || !video->settingsBlock ||
        video->settingsBlockSize < kCompressionSettingsHeaderSize) {
        return 0;
    }
    const auto& settings = *static_cast<const CompressionSettings*>(video->settingsBlock);
    if (settings.dataRate != 0) {
        return uint64_t(settings.dataRate) * kBytesPerDataRateUnit;
    }
    const double framesPerSecond = FramesPerSecond(*video);
    if (settings.quality > kQualityEstimateFloor) {
        return TruncatedCount(framesPerSecond * (settings.quality * kQualityToFrameShare) *
                              video->imageSize);
    }
    return TruncatedCount(framesPerSecond * video->imageSize);
}

}  // namespace

bool GetFreeTimeOnDrive(FreeTimeRequest& request) {
    constexpr uint32_t kSamplesWithoutDrive = 200000000;
    constexpr double kLongestSeconds = 40000.0;
    constexpr uint32_t kMostSamples = 0x7FFFFFFF;
    constexpr uint32_t kMostFrames = 40000000;
    if (request.size != sizeof(FreeTimeRequest)) {
        return false;
    }
    if (request.driveWord2 == 0) {
        request.audioSamples = kSamplesWithoutDrive;
        return true;
    }
    const uint64_t video = VideoBytesPerSecond(request.video);
    const uint64_t audio =
        request.audio ? uint64_t(request.audio->frameBytes) * request.audio->sampleRate : 0;
    const uint64_t freeBytes = GetBytesOnDrive(&request);
    double seconds = kLongestSeconds;
    if (video + audio > 0) {
        seconds = std::min(double(freeBytes) / double(video + audio), kLongestSeconds);
    }
    if (request.audio) {
        request.audioSamples = TruncatedCount(request.audio->sampleRate * seconds);
    }
    request.audioSamples = std::min(request.audioSamples, kMostSamples);
    if (request.video) {
        request.videoFrames = TruncatedCount(FramesPerSecond(*request.video) * seconds);
    }
    request.videoFrames = std::min(request.videoFrames, kMostFrames);
    return true;
}

}  // namespace zedadu::writer
