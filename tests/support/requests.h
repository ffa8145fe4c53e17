// Requests of the read entry points into a buffer the caller holds, built one way for tests,
// benchmarks and fuzz targets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/records.h"

namespace zedadu::test {

inline ImageFrameRequest FrameRequest(uint32_t frame, const ImageFormatStruct& requested,
                                      std::vector<uint8_t>& buffer) {
    ImageFrameRequest request{};
    request.size = sizeof request;
    request.frameNumber = frame;
    request.buffer = buffer.data();
    request.bufferSize = uint32_t(buffer.size());
    request.requested = requested;
    return request;
}

inline ImageFrameRequest FrameRequest(uint32_t frame, const char* formatId, int32_t width,
                                      int32_t height, std::vector<uint8_t>& buffer) {
    ImageFormatStruct requested{};
    requested.size = sizeof requested;
    snprintf(requested.formatId, sizeof requested.formatId, "%s", formatId);
    requested.width = width;
    requested.height = height;
    return FrameRequest(frame, requested, buffer);
}

inline AudioSamplesRequest SamplesRequest(uint32_t first, uint32_t count,
                                          const AudioFormatRecord& requested,
                                          std::vector<uint8_t>& buffer) {
    AudioSamplesRequest request{};
    request.size = sizeof request;
    request.firstSample = first;
    request.sampleCount = count;
    request.buffer = buffer.data();
    request.bufferSize = uint32_t(buffer.size());
    request.requested = requested;
    return request;
}

inline AudioSamplesRequest SamplesRequest(uint32_t first, uint32_t count, const char* formatId,
                                          std::vector<uint8_t>& buffer) {
    AudioFormatRecord requested{};
    requested.size = sizeof requested;
    snprintf(requested.formatId, sizeof requested.formatId, "%s", formatId);
    return SamplesRequest(first, count, requested, buffer);
}

}  // namespace zedadu::test
