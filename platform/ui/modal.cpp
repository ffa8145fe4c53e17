// The modal run of a dialog: creation, WM_INITDIALOG, the message queue and the front-end that
// stands for the user until EndDialog.
#include <deque>

#include "platform/hostlib/host_api.h"
#include "platform/ui/dialog_manager.h"

namespace zedadu::ui {
namespace {

struct PostedMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// One queue for the thread, as on the platform: a nested dialog's loop delivers the messages
// posted to the dialog below it as well.
std::deque<PostedMessage>& PostedMessages() {
    static std::deque<PostedMessage> queue;
    return queue;
}

// The front-end of the outermost dialog; nested dialogs are shown by the same one.
FrontEnd* activeFrontEnd = nullptr;

std::unique_ptr<FrontEnd> FrontEndOfTheHost() {
    uint32_t length = 0;
    ZedaduHost_GetDialogFrontEnd(nullptr, 0, &length);
    std::string text(size_t{length} + 1, '\0');
    const int32_t mode = ZedaduHost_GetDialogFrontEnd(text.data(), length + 1, &length);
    text.resize(length);
    switch (mode) {
        case ZEDADU_DIALOGS_SCRIPTED:
            return MakeScriptedFrontEnd(std::move(text));
        case ZEDADU_DIALOGS_INTERACTIVE:
            return LoadInteractiveFrontEnd(text);
        default:
            return nullptr;
    }
}

class FrontEndScope {
  public:
    FrontEndScope() : outermost_(activeFrontEnd == nullptr) {
        if (outermost_) {
            owned_ = FrontEndOfTheHost();
            activeFrontEnd = owned_.get();
        }
    }
    ~FrontEndScope() {
        if (outermost_) {
            activeFrontEnd = nullptr;
        }
    }
    FrontEndScope(const FrontEndScope&) = delete;
    FrontEndScope& operator=(const FrontEndScope&) = delete;

    FrontEnd* frontEnd() const { return activeFrontEnd; }

  private:
    bool outermost_;
    std::unique_ptr<FrontEnd> owned_;
};

HWND FirstTabStop(Dialog& dialog) {
    for (const auto& control : dialog.controls()) {
        if ((control->item->style & WS_TABSTOP) && control->visible && control->enabled) {
            return &control->window;
        }
    }
    return nullptr;
}

INT_PTR RunModal(const DialogTemplate& dialogTemplate, HWND parent, DLGPROC proc,
                 LPARAM initParam) {
    FrontEndScope scope;
    if (!scope.frontEnd() || !proc) {
        return -1;
    }
    Dialog dialog(dialogTemplate, proc, parent, *scope.frontEnd());
    SendMessageA(dialog.handle(), WM_INITDIALOG, reinterpret_cast<WPARAM>(FirstTabStop(dialog)),
                 initParam);
    DeliverPostedMessages(dialog);
    if (!dialog.ended) {
        dialog.running = true;
        const bool shown = scope.frontEnd()->run(dialog);
        dialog.running = false;
        if (!shown || !dialog.ended) {
            dialog.ended = true;
            dialog.result = -1;
        }
    }
    ReportEndedDialog(dialog);
    return dialog.result;
}

}  // namespace

void ForgetPostedMessages(const Dialog& dialog) {
    std::erase_if(PostedMessages(), [&](const PostedMessage& posted) {
        HWND__* target = Resolve(posted.window);
        return !target || target->dialog == &dialog;
    });
}

void DeliverPostedMessages(const Dialog& running) {
    auto& queue = PostedMessages();
    while (!running.ended && !queue.empty()) {
        const PostedMessage posted = queue.front();
        queue.pop_front();
        SendMessageA(posted.window, posted.message, posted.wParam, posted.lParam);
    }
}

}  // namespace zedadu::ui

INT_PTR DialogBoxParamA(HINSTANCE instance, const char* templateName, HWND parent, DLGPROC proc,
                        LPARAM initParam) {
    return DialogBoxIndirectParamA(instance, FindDialogTemplate(instance, templateName), parent,
                                   proc, initParam);
}

INT_PTR DialogBoxIndirectParamA(HINSTANCE, const DialogTemplate* dialogTemplate, HWND parent,
                                DLGPROC proc, LPARAM initParam) {
    return dialogTemplate ? zedadu::ui::RunModal(*dialogTemplate, parent, proc, initParam) : -1;
}

BOOL EndDialog(HWND window, INT_PTR result) {
    HWND__* target = zedadu::ui::Resolve(window);
    if (!target || target->control) {
        return FALSE;
    }
    target->dialog->ended = true;
    target->dialog->result = result;
    target->dialog->changed(nullptr, ZEDADU_DIALOG_CHANGED_ENDED);
    return TRUE;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!zedadu::ui::Resolve(window)) {
        return FALSE;
    }
    zedadu::ui::PostedMessages().push_back({window, message, wParam, lParam});
    return TRUE;
}
