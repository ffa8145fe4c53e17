#include "tests/support/test_support.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/hostlib/host_api.h"
#include "platform/win32/types.h"

namespace zedadu::test {

ScratchDirectory::ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zedadu-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        abort();
    }
    path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

namespace {

int32_t Answer(void* context, const ZedaduHostMessage* message) {
    return static_cast<MessageRecorder*>(context)->show({message->messageId, message->text,
                                                         message->caption, message->text1,
                                                         message->text2, message->flags});
}

}  // namespace

MessageRecorder::MessageRecorder() {
    ZedaduHost_SetMessageHandler(&Answer, this);
}

MessageRecorder::~MessageRecorder() {
    ZedaduHost_SetMessageHandler(nullptr, nullptr);
}

int32_t MessageRecorder::show(const ShownMessage& message) {
    shown_.push_back(message);
    if (!answers_.empty()) {
        const int32_t answer = answers_.front();
        answers_.pop_front();
        return answer;
    }
    const uint32_t buttons = message.flags & MB_TYPEMASK;
    return buttons == MB_YESNO || buttons == MB_YESNOCANCEL ? IDYES : IDOK;
}

}  // namespace zedadu::test
