#include "platform/vfw/compressor.h"

#include <utility>

namespace zedadu::vfw {

Compressor::Compressor(FOURCC handler, UINT mode)
    : instance_(ICOpen(ICTYPE_VIDEO, handler, mode)),
      endMessage_(mode == ICMODE_DECOMPRESS ? ICM_DECOMPRESS_END : 0) {}

Compressor::Compressor(Compressor&& other) noexcept
    : instance_(std::exchange(other.instance_, nullptr)),
      endMessage_(std::exchange(other.endMessage_, 0)) {}

Compressor& Compressor::operator=(Compressor&& other) noexcept {
    if (this != &other) {
        close();
        instance_ = std::exchange(other.instance_, nullptr);
        endMessage_ = std::exchange(other.endMessage_, 0);
    }
    return *this;
}

void Compressor::close() {
    if (instance_) {
        if (endMessage_) {
            ICSendMessage(instance_, endMessage_, 0, 0);
        }
        ICClose(instance_);
    }
    instance_ = nullptr;
    endMessage_ = 0;
}

}  // namespace zedadu::vfw
