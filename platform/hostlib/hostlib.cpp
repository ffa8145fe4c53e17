#include "platform/hostlib/hostlib.h"

#include <sys/statvfs.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/hostlib/host_api.h"
#include "platform/hostlib/strings.h"
#include "platform/win32/types.h"

namespace {

constexpr uint32_t kCaptionId = 1801;

// Host-side settings, touched from any thread the host calls the plug-in from.
struct HostState {
    std::mutex mutex;
    std::map<uint32_t, std::string> strings;
    ZedaduHostMessageHandler handler = nullptr;
    void* handlerContext = nullptr;
    int32_t fixedAnswer = 0;  // 0: the default button
    bool prompt = false;
    std::string recordingDirectory = ".";
    uint32_t skinnedWindows = 0;
    int32_t dialogMode = ZEDADU_DIALOGS_UNAVAILABLE;
    std::string dialogText;  // the script, or the front-end library
    bool dialogScriptFailed = false;
};

HostState& State() {
    static HostState state;
    return state;
}

// Runs `use` on the host state with its mutex held and returns what it returns.
template <typename Use>
auto Locked(Use use) {
    HostState& state = State();
    std::lock_guard lock(state.mutex);
    return use(state);
}

// Copies what fits of `value` into `text`, always terminated, and returns its whole length.
uint32_t CopyText(const std::string& value, char* text, uint32_t capacity) {
    if (text && capacity > 0) {
        const size_t copied = std::min<size_t>(value.size(), capacity - 1);
        memcpy(text, value.data(), copied);
        text[copied] = '\0';
    }
    return static_cast<uint32_t>(value.size());
}

std::string StringText(uint32_t id) {
    return Locked([id](const HostState& state) {
        const auto custom = state.strings.find(id);
        return custom != state.strings.end() ? custom->second : zedadu::hostlib::BuiltInString(id);
    });
}

bool BoxHasButton(uint32_t flags, int32_t button) {
    switch (flags & MB_TYPEMASK) {
        case MB_OK:
            return button == IDOK;
        case MB_OKCANCEL:
            return button == IDOK || button == IDCANCEL;
        case MB_YESNOCANCEL:
            return button == IDYES || button == IDNO || button == IDCANCEL;
        case MB_YESNO:
            return button == IDYES || button == IDNO;
        default:
            return false;
    }
}

int32_t DefaultButton(uint32_t flags) {
    const uint32_t buttons = flags & MB_TYPEMASK;
    return buttons == MB_YESNO || buttons == MB_YESNOCANCEL ? IDYES : IDOK;
}

const char* ButtonChoices(uint32_t flags) {
    switch (flags & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return "[o]k/[c]ancel";
        case MB_YESNOCANCEL:
            return "[y]es/[n]o/[c]ancel";
        case MB_YESNO:
            return "[y]es/[n]o";
        default:
            return "press Enter";
    }
}

int32_t ButtonFromAnswer(const char* line, uint32_t flags) {
    int32_t button = DefaultButton(flags);
    switch (line[0] | 0x20) {
        case 'o':
            button = IDOK;
            break;
        case 'y':
            button = IDYES;
            break;
        case 'n':
            button = IDNO;
            break;
        case 'c':
            button = IDCANCEL;
            break;
        default:
            break;
    }
    return BoxHasButton(flags, button) ? button : DefaultButton(flags);
}

int32_t AskOnTerminal(const ZedaduHostMessage& message) {
    fprintf(stderr, "\n[%s] %s\n%s? ", message.caption, message.text, ButtonChoices(message.flags));
    fflush(stderr);
    char line[64] = {};
    if (!fgets(line, sizeof line, stdin)) {
        return DefaultButton(message.flags);
    }
    return ButtonFromAnswer(line, message.flags);
}

int32_t Show(const ZedaduHostMessage& message) {
    struct Answering {
        ZedaduHostMessageHandler handler;
        void* context;
        int32_t fixedAnswer;
        bool prompt;
    };
    const Answering answering = Locked([](const HostState& state) {
        return Answering{state.handler, state.handlerContext, state.fixedAnswer, state.prompt};
    });
    if (answering.handler) {
        return answering.handler(answering.context, &message);
    }
    if (answering.prompt) {
        return AskOnTerminal(message);
    }
    const int32_t answer = BoxHasButton(message.flags, answering.fixedAnswer)
                               ? answering.fixedAnswer
                               : DefaultButton(message.flags);
    fprintf(stderr, "[%s] %s\n", message.caption, message.text);
    return answer;
}

// Puts text1 for "%1" and text2 for "%2".
std::string Compose(const std::string& pattern, const char* text1, const char* text2) {
    std::string composed;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == '1' || pattern[i + 1] == '2')) {
            const char* text = pattern[i + 1] == '1' ? text1 : text2;
            composed += text ? text : "";
            ++i;
        } else {
            composed += pattern[i];
        }
    }
    return composed;
}

class HostSkinsModule final : public SkinsModule {
  public:
    void Reserved1() override {}
    void Reserved2() override {}
    void Reserved3() override {}
    void Reserved4() override {}
    void Reserved5() override {}
    void SkinWindow(void*, int32_t) override {
        Locked([](HostState& state) { ++state.skinnedWindows; });
    }
};

}  // namespace

extern "C" {

uint32_t MyLoadString(uint32_t id, char* text, uint32_t capacity) {
    return CopyText(StringText(id), text, capacity);
}

int32_t MyMessageBox(uint32_t messageId, const char* text1, const char* text2, uint32_t flags) {
    const std::string text = Compose(StringText(messageId), text1, text2);
    const std::string caption = StringText(kCaptionId);
    const ZedaduHostMessage message{messageId,          text.c_str(),       caption.c_str(),
                                    text1 ? text1 : "", text2 ? text2 : "", flags};
    return Show(message);
}

void ConvertAudio8To16(int16_t* samples16, const uint8_t* samples8, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        samples16[i] = static_cast<int16_t>((samples8[i] - 128) * 256);
    }
}

void ConvertAudio16To8(const int16_t* samples16, uint8_t* samples8, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        samples8[i] = static_cast<uint8_t>((samples16[i] >> 8) + 128);
    }
}

uint64_t GetBytesOnDrive(const void*) {
    const std::string directory =
        Locked([](const HostState& state) { return state.recordingDirectory; });
    struct statvfs info {};
    if (statvfs(directory.c_str(), &info) != 0) {
        return 0;
    }
    return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

void* CreateSkinsModule(void) {
    static HostSkinsModule module;
    return static_cast<SkinsModule*>(&module);
}

void ZedaduHost_SetMessageHandler(ZedaduHostMessageHandler handler, void* context) {
    Locked([&](HostState& state) {
        state.handler = handler;
        state.handlerContext = context;
    });
}

void ZedaduHost_AnswerMessagesWith(int32_t button) {
    Locked([&](HostState& state) {
        state.handler = nullptr;
        state.prompt = false;
        state.fixedAnswer = button;
    });
}

void ZedaduHost_PromptForMessages(void) {
    Locked([](HostState& state) {
        state.handler = nullptr;
        state.prompt = true;
    });
}

int32_t ZedaduHost_ShowMessageBox(const char* text, const char* caption, uint32_t flags) {
    const ZedaduHostMessage message{0, text ? text : "", caption ? caption : "", "", "", flags};
    return Show(message);
}

void ZedaduHost_SetString(uint32_t id, const char* text) {
    Locked([&](HostState& state) {
        if (text) {
            state.strings[id] = text;
        } else {
            state.strings.erase(id);
        }
    });
}

void ZedaduHost_SetRecordingDirectory(const char* directory) {
    Locked([&](HostState& state) { state.recordingDirectory = directory ? directory : "."; });
}

void ZedaduHost_SetDialogScript(const char* script) {
    Locked([&](HostState& state) {
        state.dialogMode = script ? ZEDADU_DIALOGS_SCRIPTED : ZEDADU_DIALOGS_UNAVAILABLE;
        state.dialogText = script ? script : "";
        state.dialogScriptFailed = false;
    });
}

void ZedaduHost_ReportDialogScriptFailure(const char* failure) {
    Locked([&](HostState& state) {
        state.dialogScriptFailed = true;
        fprintf(stderr, "%s\n", failure ? failure : "dialog script: failed");
    });
}

int32_t ZedaduHost_DialogScriptFailed(void) {
    return Locked([](HostState& state) { return state.dialogScriptFailed ? 1 : 0; });
}

void ZedaduHost_SetInteractiveDialogs(const char* frontEndLibrary) {
    Locked([&](HostState& state) {
        state.dialogMode = ZEDADU_DIALOGS_INTERACTIVE;
        state.dialogText = frontEndLibrary ? frontEndLibrary : "";
    });
}

int32_t ZedaduHost_GetDialogFrontEnd(char* text, uint32_t capacity, uint32_t* length) {
    return Locked([&](const HostState& state) {
        const uint32_t whole = CopyText(state.dialogText, text, capacity);
        if (length) {
            *length = whole;
        }
        return state.dialogMode;
    });
}

uint32_t ZedaduHost_SkinnedWindowCount(void) {
    return Locked([](HostState& state) { return state.skinnedWindows; });
}

}  // extern "C"
