// The whole read path on the input as an AVI file, through the entry points: open, file info, a
// few frames in every offered layout at the stored size and at fitted sizes, audio at the start,
// the middle, across and past the end, close. The work per input is bounded: a handful of frames,
// host buffers of at most a few megabytes (larger images must be refused, not decoded).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "plugin/plugin.h"
#include "tests/support/requests.h"

namespace {

using zedadu::AudioFormatRecord;
using zedadu::ImageFormatStruct;

constexpr uint64_t kLargestHostBuffer = 4 << 20;
constexpr uint32_t kMostFramesForTheLast = 32;
constexpr uint32_t kSampleRun = 300;

std::vector<uint8_t>& HostBuffer(uint64_t wanted) {
    static std::vector<uint8_t> buffer;
    buffer.assign(size_t(std::min(wanted, kLargestHostBuffer)), 0);
    return buffer;
}

void ReadFrame(void* handle, const ImageFormatStruct& layout, uint32_t frame, int32_t width,
               int32_t height) {
    const uint64_t pixels = uint64_t(std::max(width, 1)) * uint64_t(std::max(height, 1));
    std::vector<uint8_t>& buffer = HostBuffer(pixels * 4 + 4 * uint64_t(std::max(height, 1)));
    ImageFormatStruct requested = layout;
    requested.width = width;
    requested.height = height;
    ImageFrameRequest request = zedadu::test::FrameRequest(frame, requested, buffer);
    if (AVFILE_ReadImageFrame(handle, &request) == 1 && request.result.imageSize > buffer.size()) {
        __builtin_trap();  // the reader claims more than the host's buffer holds
    }
}

int32_t Clamped(int64_t value) {
    return int32_t(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

void ReadFrames(void* handle, const ReadingFileInfo& info) {
    const uint32_t frames = info.frameCount;
    for (uint32_t i = 0; i < info.videoFormatCount && i < 4; ++i) {
        const ImageFormatStruct& layout = info.videoFormats[i];
        const int32_t w = layout.width;
        const int32_t h = layout.height;
        ReadFrame(handle, layout, 0, w, h);
        ReadFrame(handle, layout, 0, w / 2,
                  Clamped(int64_t(h) * 2));  // fitted to the source's aspect
        ReadFrame(handle, layout, 0, Clamped(int64_t(w) + 3), h / 3);
        for (uint32_t frame : {1u, 2u, frames / 2, frames}) {
            ReadFrame(handle, layout, frame, w, h);
        }
        if (frames > 0 && frames <= kMostFramesForTheLast) {
            ReadFrame(handle, layout, frames - 1, w, h);
            ReadFrame(handle, layout, 0, w, h);
        }
    }
}

void ReadSamples(void* handle, const AudioFormatRecord& layout, uint32_t first) {
    const uint64_t frameBytes = std::max<uint64_t>(layout.frameBytes, 1);
    const uint32_t count =
        uint32_t(std::min<uint64_t>(kSampleRun, kLargestHostBuffer / frameBytes));
    std::vector<uint8_t>& buffer = HostBuffer(count * frameBytes);
    AudioSamplesRequest request = zedadu::test::SamplesRequest(first, count, layout, buffer);
    AVFILE_ReadAudioSamples(handle, &request);
}

void ReadAudio(void* handle, const ReadingFileInfo& info) {
    const uint32_t length = info.audioLength;
    for (uint32_t i = 0; i < info.audioFormatCount && i < 2; ++i) {
        for (uint32_t first :
             {0u, length / 2, length - std::min(length, kSampleRun / 2), length, length + 1}) {
            ReadSamples(handle, info.audioFormats[i], first);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = zedadu::fuzz::InputAsFile(data, size, "input.avi");
    void* handle = nullptr;
    if (AVFILE_OpenFileForRead(&handle, path.c_str()) != 1) {
        return 0;
    }
    ReadingFileInfo info{};
    info.size = sizeof info;
    if (AVFILE_GetReadingFileInfo(handle, &info) == 1) {
        ReadFrames(handle, info);
        ReadAudio(handle, info);
    }
    AVFILE_CloseReadingFile(handle);
    return 0;
}
