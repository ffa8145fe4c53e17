// The head of every handle the host holds, and what both kinds of handle list for the host.
//
// A reading handle (reader::ReadingFile) and a writing handle (writer::WritingFile) are records of
// their own, each beginning with this head: the tag "AVI " in its first four bytes, which every
// entry point taking a handle checks first, and the side the handle is on. A handle of one side
// given to a call of the other is refused like an untagged one.
#pragma once

#include <cstdint>
#include <cstring>

#include "core/records.h"

namespace zedadu {

inline constexpr uint32_t kHandleTag = FourCC("AVI ");

enum class HandleSide : uint32_t { Reading = 1, Writing = 2 };

struct HandleHead {
    explicit HandleHead(HandleSide handleSide) : side(handleSide) {}

    uint32_t tag = 0;  // kHandleTag while the handle is open
    HandleSide side;
};

// The handle as File (a record with kSide) when it is not null, carries the tag and is on File's
// side; null otherwise. The host holds what an open call gave it: a pointer to the head.
template <typename File>
File* CheckedHandle(void* handle) {
    if (!handle) {
        return nullptr;
    }
    uint32_t tag;
    memcpy(&tag, handle, sizeof tag);
    auto* head = static_cast<HandleHead*>(handle);
    return tag == kHandleTag && head->side == File::kSide ? static_cast<File*>(head) : nullptr;
}

// The layouts a handle lists for the host: those a reading handle delivers, those a writing
// handle accepts. The file-info records point into them.
struct Layouts {
    ImageFormatStruct video[4]{};  // at most three used
    uint32_t videoCount = 0;
    AudioFormatRecord audio[2]{};
    uint32_t audioCount = 0;
};

// Starts a file-info record of either side: one below its size is refused untouched; otherwise
// it is cleared, given its size and pointed at the handle's layouts, which stay valid until the
// handle is closed.
template <typename Info>
bool StartFileInfo(Info& info, Layouts& layouts) {
    if (info.size < sizeof(Info)) {
        return false;
    }
    memset(static_cast<void*>(&info), 0, sizeof info);
    info.size = sizeof(Info);
    info.videoFormats = layouts.video;
    info.videoFormatCount = layouts.videoCount;
    info.audioFormats = layouts.audio;
    info.audioFormatCount = layouts.audioCount;
    return true;
}

}  // namespace zedadu
