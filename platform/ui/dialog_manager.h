// Inside the dialog manager: windows, controls, the message queue and the front-ends.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/dialog_frontend.h"
#include "platform/ui/dialog_template.h"

namespace zedadu::ui {
class Dialog;
struct Control;
}  // namespace zedadu::ui

// A window handle points at one of these; it is valid while its dialog exists.
struct HWND__ {
    zedadu::ui::Dialog* dialog;
    zedadu::ui::Control* control;  // null for the dialog window itself
};

namespace zedadu::ui {

enum class ControlKind {
    PushButton = ZEDADU_CONTROL_PUSH_BUTTON,
    CheckBox = ZEDADU_CONTROL_CHECK_BOX,
    GroupBox = ZEDADU_CONTROL_GROUP_BOX,
    Static = ZEDADU_CONTROL_STATIC,
    Edit = ZEDADU_CONTROL_EDIT,
    ComboBox = ZEDADU_CONTROL_COMBO_BOX,
    DropDownList = ZEDADU_CONTROL_DROP_DOWN_LIST,
    ScrollBar = ZEDADU_CONTROL_SCROLL_BAR,
    UpDown = ZEDADU_CONTROL_UP_DOWN,
};

// The state a control of the platform keeps.
struct Control {
    HWND__ window;
    const DialogItemTemplate* item;
    ControlKind kind;
    std::string text;
    bool visible;
    bool enabled;
    UINT check = BST_UNCHECKED;
    std::vector<std::string> items;
    int selection = -1;
    int minimum = 0;  // scroll bar range and position; up-down range
    int maximum = 0;
    int position = 0;
    Control* buddy = nullptr;
};

class FrontEnd;

class Dialog {
  public:
    Dialog(const DialogTemplate& dialogTemplate, DLGPROC proc, HWND parent, FrontEnd& frontEnd);
    ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    HWND handle() { return &window_; }
    Control* control(int id);
    const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }
    const DialogTemplate& dialogTemplate() const { return template_; }
    HWND parent() const { return parent_; }
    FrontEnd& frontEnd() { return frontEnd_; }
    DLGPROC proc() const { return proc_; }

    std::string caption;
    LONG_PTR userWord = 0;  // DWLP_USER
    bool ended = false;
    INT_PTR result = 0;
    bool running = false;  // the front-end is showing it
    std::string failure;   // why it ended with -1 (a script that could not go on)

    // Tells the front-end what changed.
    void changed(const Control* control, uint32_t what);

  private:
    HWND__ window_;
    const DialogTemplate& template_;
    DLGPROC proc_;
    HWND parent_;
    FrontEnd& frontEnd_;
    std::vector<std::unique_ptr<Control>> controls_;
};

// Drives the modal loop of each dialog it is given: from user actions until the dialog ended.
class FrontEnd {
  public:
    virtual ~FrontEnd() = default;
    // Returns false when the dialog cannot be shown.
    virtual bool run(Dialog& dialog) = 0;
    virtual void changed(Dialog& dialog, int controlId, uint32_t what) = 0;
};

// The live window for a handle, null for anything else (a stale handle, the host's window).
HWND__* Resolve(HWND window);

// Control handling: the messages a control answers, and what the dialog hears from it.
LRESULT ControlMessage(Control& control, UINT message, WPARAM wParam, LPARAM lParam);
void Notify(Control& control, WORD code);
void SetControlText(Control& control, const std::string& text);
// A drop-down list shows its selected entry; every other control its own text.
const std::string& DisplayedText(const Control& control);
// Delivers posted messages in order until none is left or the dialog being run has ended.
void DeliverPostedMessages(const Dialog& running);
// Drops the messages posted to a dialog that goes away, so that no later window receives them.
void ForgetPostedMessages(const Dialog& dialog);

// Performs a person's action; false (with the reason) when a person could not have done it.
bool PerformAction(Dialog& dialog, const ZedaduDialogAction& action, std::string* reason);

// The front-ends: a script of actions, or a library that shows a window.
std::unique_ptr<FrontEnd> MakeScriptedFrontEnd(std::string script);
std::unique_ptr<FrontEnd> LoadInteractiveFrontEnd(const std::string& library);

// The snapshot a test asked for when the dialog ends.
void ReportEndedDialog(const Dialog& dialog);

}  // namespace zedadu::ui
