// The dispatcher: it only chooses. Every supported pair of layouts has one kernel (a chain counts
// as one) in the routing table; channel planes expand to three-byte pixels first.
#include "convert/convert.h"

#include "convert/kernels.h"
#include "platform/ui/message_box.h"

namespace zedadu {
namespace {

using Kernel = void (*)(uint8_t* buffer, int32_t width, int32_t height);

struct Route {
    int32_t source;
    int32_t target;
    Kernel kernel;
};

constexpr Route kRoutes[] = {
    {8, 16, convert::Convert8To16},
    {8, 24, convert::Convert8To24},
    {8, 32, convert::Convert8To32},
    {8, 64, convert::Convert8To64},
    {8, kLayout422, convert::Convert8To422},
    {24, 8, convert::Convert24To8},
    {24, 16, convert::Convert24To16},
    {24, 32, convert::Convert24To32},
    {24, 64, convert::Convert24To64},
    {24, kLayout422, convert::Convert24To422},
    {32, 8, convert::Convert32To8},
    {32, 16, convert::Convert32To16},
    {32, 24, convert::Convert32To24},
    {32, 64, convert::Convert32To64},
    {32, kLayout422, convert::Convert32To422},
    {64, 8, convert::Convert64To8},
    {64, 16, convert::Convert64To16},
    {64, 24, convert::Convert64To24},
    {64, 32, convert::Convert64To32},
    {64, kLayout422, convert::Convert64To422},
};

constexpr char kRefusalText[] =
    "The specified color space is not supported by the current version of Corvana software";
constexpr char kRefusalCaption[] = "Corvana Color Convertor";
constexpr UINT kRefusalFlags = MB_OK | MB_ICONEXCLAMATION | MB_TASKMODAL | MB_SETFOREGROUND;

// The widest layout a route passes through takes 8 bytes a pixel.
constexpr uint64_t kMaxPixelBytes = 8;

bool IsChannelCode(int32_t code) {
    return code >= 1 && code <= 4;
}

// Negative counts are no image, and a pixel count whose bytes could not be addressed is no buffer
// the caller can hold.
bool IsValidImage(int32_t width, int32_t height) {
    if (width < 0 || height < 0) {
        return false;
    }
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    return pixels <= uint64_t(PTRDIFF_MAX) / kMaxPixelBytes;
}

Kernel FindKernel(int32_t source, int32_t target) {
    for (const Route& route : kRoutes) {
        if (route.source == source && route.target == target) {
            return route.kernel;
        }
    }
    return nullptr;
}

int32_t Refuse() {
    MessageBoxA(GetForegroundWindow(), kRefusalText, kRefusalCaption, kRefusalFlags);
    return 0;
}

}  // namespace

int32_t ConvertColorSpace(void* buffer, int32_t width, int32_t height, int32_t source,
                          int32_t target) {
    if (source == target) {
        return 1;
    }
    if (!IsValidImage(width, height)) {
        return 0;
    }
    auto* bytes = static_cast<uint8_t*>(buffer);
    if (IsChannelCode(source)) {
        convert::ExpandChannelTo24(bytes, width, height, source);
        return ConvertColorSpace(buffer, width, height, 24, target);
    }
    const Kernel kernel = FindKernel(source, target);
    if (!kernel) {
        return Refuse();
    }
    kernel(bytes, width, height);
    return 1;
}

}  // namespace zedadu
