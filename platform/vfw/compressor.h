// One open compressor instance and the one place where it is closed. A decompressor is told
// ICM_DECOMPRESS_END before every close, whether or not it began; a compressor is told
// ICM_COMPRESS_END only once its owner says the compression is running, since a compressor that
// was only probed or failed to start has nothing to end.
#pragma once

#include <type_traits>

#include "platform/vfw/vfw.h"

namespace zedadu::vfw {

class Compressor {
  public:
    Compressor() = default;
    // ICOpen of the video compressor of this handler code in ICMODE_COMPRESS or
    // ICMODE_DECOMPRESS; holds nothing when none opens.
    Compressor(FOURCC handler, UINT mode);
    ~Compressor() { close(); }
    Compressor(Compressor&& other) noexcept;
    Compressor& operator=(Compressor&& other) noexcept;
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    explicit operator bool() const { return instance_ != nullptr; }
    HIC get() const { return instance_; }

    // Message arguments are pointer-sized words: pointers, windows and numbers alike.
    template <typename First = DWORD_PTR, typename Second = DWORD_PTR>
    LRESULT send(UINT message, First first = 0, Second second = 0) const {
        return ICSendMessage(instance_, message, Word(first), Word(second));
    }

    // The compression runs: from now on ICM_COMPRESS_END goes before the close.
    void compressionRunning() { endMessage_ = ICM_COMPRESS_END; }
    // Ends what runs, then closes; the owner holds nothing afterwards.
    void close();

  private:
    template <typename T>
    static DWORD_PTR Word(T value) {
        if constexpr (std::is_pointer_v<T> || std::is_null_pointer_v<T>) {
            return reinterpret_cast<DWORD_PTR>(value);
        } else {
            return static_cast<DWORD_PTR>(value);
        }
    }

    HIC instance_ = nullptr;
    UINT endMessage_ = 0;  // sent before ICClose when not 0
};

}  // namespace zedadu::vfw
