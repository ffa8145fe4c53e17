// The configuration and about boxes of the built-in compressors. The configuration box is a small
// dialog of the platform's dialog layer with one number per encoder option the state carries; the
// about box names the codec and the library that implements it.
#include <cstdio>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "platform/system/system.h"
#include "platform/ui/dialog_template.h"
#include "platform/ui/message_box.h"
#include "platform/vfw/ffmpeg/instance.h"

namespace zedadu::vfw::ffmpeg {
namespace {

constexpr UINT kInformationIcon = 0x40;
constexpr int kFirstEdit = 100;    // option i: edit kFirstEdit + i
constexpr int kFirstUpDown = 150;  // and its up-down control kFirstUpDown + i
constexpr short kRowHeight = 18;
constexpr short kWidth = 200;

std::string Ansi(const std::u16string& text) {
    std::string ansi(text.size() + 1, '\0');
    const int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, ansi.data(),
                                           static_cast<int>(ansi.size()), nullptr, nullptr);
    ansi.resize(length > 0 ? static_cast<size_t>(length) - 1 : 0);
    return ansi;
}

// "compression_level" reads "Compression level (0 to 9):".
std::string OptionLabel(const EncoderOption& option) {
    std::string label = option.name;
    for (char& c : label) {
        c = c == '_' ? ' ' : c;
    }
    label[0] = static_cast<char>(toupper(static_cast<unsigned char>(label[0])));
    return label + " (" + std::to_string(option.minimum) + " to " + std::to_string(option.maximum) +
           "):";
}

// The template of one compressor's options: a labelled number with arrows per option, then OK
// and Cancel. Its texts live as long as it does.
class OptionsTemplate {
  public:
    explicit OptionsTemplate(const CompressorSpec& entry)
        : caption_(Ansi(entry.description) + " Options") {
        constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
        for (size_t i = 0; i < entry.options.size(); ++i) {
            labels_.push_back(OptionLabel(entry.options[i]));
        }
        for (size_t i = 0; i < entry.options.size(); ++i) {
            const auto y = static_cast<short>(7 + kRowHeight * i);
            const int index = static_cast<int>(i);
            items_.push_back({WC_STATIC, -1, labels_[i].c_str(), kChild, 7, short(y + 2), 128, 8});
            items_.push_back({WC_EDIT, kFirstEdit + index, "",
                              kChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 138, y, 40, 12});
            items_.push_back({UPDOWN_CLASS, kFirstUpDown + index, "",
                              kChild | UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ALIGNRIGHT |
                                  UDS_ARROWKEYS | UDS_NOTHOUSANDS,
                              178, y, 10, 12});
        }
        const auto buttons = static_cast<short>(14 + kRowHeight * entry.options.size());
        items_.push_back(
            {WC_BUTTON, IDOK, "OK", kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 83, buttons, 50, 14});
        items_.push_back(
            {WC_BUTTON, IDCANCEL, "Cancel", kChild | WS_TABSTOP, 138, buttons, 50, 14});
        template_ = {"COMPRESSOROPTIONS",
                     1033,
                     DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU,
                     caption_.c_str(),
                     "MS Sans Serif",
                     8,
                     0,
                     0,
                     kWidth,
                     static_cast<short>(buttons + 21),
                     items_.data(),
                     items_.size()};
    }

    const DialogTemplate* get() const { return &template_; }

  private:
    std::string caption_;
    std::vector<std::string> labels_;
    std::vector<DialogItemTemplate> items_;
    DialogTemplate template_;
};

// The compressor whose options box is open; one box at a time, on the user-interface thread.
DriverInstance* configuring = nullptr;

void ShowOptions(HWND dialog) {
    const CompressorSpec& entry = *configuring->compressor;
    for (size_t i = 0; i < entry.options.size(); ++i) {
        const EncoderOption& option = entry.options[i];
        const int index = static_cast<int>(i);
        SendDlgItemMessageA(dialog, kFirstUpDown + index, UDM_SETRANGE, 0,
                            MAKELPARAM(WORD(option.maximum), WORD(option.minimum)));
        SetDlgItemInt(dialog, kFirstEdit + index, UINT(configuring->state->Value(option)), TRUE);
    }
}

// A text that is no number leaves its option as it was.
void TakeOptions(HWND dialog) {
    const CompressorSpec& entry = *configuring->compressor;
    for (size_t i = 0; i < entry.options.size(); ++i) {
        BOOL number = FALSE;
        const auto value = static_cast<int32_t>(
            GetDlgItemInt(dialog, kFirstEdit + static_cast<int>(i), &number, TRUE));
        if (number) {
            configuring->state->Set(entry.options[i], value);
        }
    }
}

INT_PTR OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        ShowOptions(dialog);
        return TRUE;
    }
    if (message != WM_COMMAND || (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)) {
        return 0;
    }
    if (LOWORD(wParam) == IDOK) {
        TakeOptions(dialog);
    }
    EndDialog(dialog, LOWORD(wParam) == IDOK ? 1 : 0);
    return 1;
}

bool HasOptions(const DriverInstance& instance) {
    return instance.compressor && instance.state && !instance.compressor->options.empty();
}

}  // namespace

// The query form answers ICERR_OK for compressors with options; the box changes the state that
// ICM_GETSTATE then reports.
LRESULT Configure(DriverInstance& instance, LPARAM owner, LPARAM) {
    if (!HasOptions(instance)) {
        return ICERR_UNSUPPORTED;
    }
    if (owner == ICQUERYBOX) {
        return ICERR_OK;
    }
    const OptionsTemplate options(*instance.compressor);
    struct Configuring {
        explicit Configuring(DriverInstance& instance) { configuring = &instance; }
        ~Configuring() { configuring = nullptr; }
    } scope(instance);
    const INT_PTR result =
        DialogBoxIndirectParamA(ModuleInstanceOf(reinterpret_cast<const void*>(&Configure)),
                                options.get(), reinterpret_cast<HWND>(owner), OptionsDialogProc, 0);
    return result == 1 ? ICERR_OK : ICERR_ABORT;
}

LRESULT About(DriverInstance& instance, LPARAM owner, LPARAM) {
    if (owner == ICQUERYBOX) {
        return ICERR_OK;
    }
    const std::string name = Ansi(Description(instance.handler));
    const std::string driver = DriverName(instance.handler);
    const unsigned version = avcodec_version();
    char text[512];
    snprintf(text, sizeof text,
             "%s\n\nImplemented by the %s codec of FFmpeg's libavcodec %u.%u.%u.", name.c_str(),
             driver.substr(driver.find(':') + 1).c_str(), version >> 16, (version >> 8) & 0xFF,
             version & 0xFF);
    MessageBoxA(reinterpret_cast<HWND>(owner), text, ("About " + name).c_str(),
                MB_OK | kInformationIcon);
    return ICERR_OK;
}

}  // namespace zedadu::vfw::ffmpeg
