// libzedadu-dialog-qt.so: the window front-end of the dialog layer. It shows every dialog the
// dialog manager runs as a modal Qt window (platform/ui/dialog_frontend.h). Where no display is
// named or none can be reached it offers no front-end, and the plug-in goes on as it does headless.
#include <QApplication>
#include <array>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/ui/dialog_frontend.h"
#include "platform/ui/qt/dialog_window.h"

namespace zedadu::ui::qt {
namespace {

// The platform plugin Qt falls back to when the display cannot be reached: it has no windows.
constexpr char kNoDisplay[] = "minimal";

bool Named(const char* variable) {
    const char* value = getenv(variable);
    return value && *value;
}

// The widget application the windows need. A host that runs one lends it (a host that runs only a
// core or GUI application has no widgets to lend: no windows then). Otherwise one is made
// when a dialog is about to open and goes when the outermost dialog ends, so that a host that
// shows a dialog now and then keeps no connection to the window system in between.
class Application {
  public:
    bool ready() {
        if (QCoreApplication::instance()) {
            return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
        }
        if (!Named("DISPLAY") && !Named("WAYLAND_DISPLAY")) {
            return false;
        }
        create();
        if (QGuiApplication::platformName() == QLatin1String(kNoDisplay)) {
            own_.reset();
            return false;
        }
        return true;
    }

    // Counts the dialogs being shown; the application made here goes with the outermost one.
    class DialogScope {
      public:
        explicit DialogScope(Application& application) : application_(application) {
            ++application_.depth_;
        }
        ~DialogScope() {
            if (--application_.depth_ == 0) {
                application_.own_.reset();
            }
        }
        DialogScope(const DialogScope&) = delete;
        DialogScope& operator=(const DialogScope&) = delete;

      private:
        Application& application_;
    };

  private:
    // The display's platform, or the one the user chose, then the one without windows, which Qt
    // takes instead of ending the process when the display cannot be reached.
    void create() {
        const char* chosen = getenv("QT_QPA_PLATFORM");
        platforms_ = chosen && *chosen ? chosen : Named("WAYLAND_DISPLAY") ? "wayland;xcb" : "xcb";
        platforms_ += std::string(";") + kNoDisplay;
        arguments_ = {name_.data(), option_.data(), platforms_.data(), nullptr};
        argumentCount_ = 3;
        own_ = std::make_unique<QApplication>(argumentCount_, arguments_.data());
    }

    std::unique_ptr<QApplication> own_;
    int depth_ = 0;
    std::string name_ = "zedadu";
    std::string option_ = "-platform";
    std::string platforms_;
    int argumentCount_ = 0;
    std::array<char*, 4> arguments_{};
};

// Made once and never destroyed: an application still made at exit (a dialog that ended before it
// was shown) must not be torn down after the window system's libraries are.
Application& TheApplication() {
    static auto* application = new Application;
    return *application;
}

int32_t Run(void*, ZedaduDialogView* view, const ZedaduDialogManager* manager) {
    Application& application = TheApplication();
    if (!view || !manager || manager->size < sizeof(ZedaduDialogManager) || !application.ready()) {
        return 0;
    }
    const Application::DialogScope shown(application);
    QWidget* owner = DialogWindow::Innermost();
    DialogWindow window(view, *manager, owner ? owner : QApplication::activeWindow());
    window.exec();
    return 1;
}

void Changed(void*, ZedaduDialogView* view, int32_t controlId, uint32_t what) {
    if (DialogWindow* window = DialogWindow::Showing(view)) {
        window->showChange(controlId, what);
    }
}

const ZedaduDialogFrontEnd kFrontEnd = {sizeof(ZedaduDialogFrontEnd), nullptr, Run, Changed};

}  // namespace
}  // namespace zedadu::ui::qt

extern "C" __attribute__((visibility("default"))) const ZedaduDialogFrontEnd*
ZedaduDialog_GetFrontEnd(void) {
    return zedadu::ui::qt::TheApplication().ready() ? &zedadu::ui::qt::kFrontEnd : nullptr;
}
