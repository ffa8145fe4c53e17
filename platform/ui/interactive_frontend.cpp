// Interactive front-ends: a shared library that shows dialogs as windows, loaded on first use and
// kept for the life of the process (window-system libraries do not like being unloaded).
#include <dlfcn.h>

#include <cstdio>
#include <map>

#include "platform/system/system.h"
#include "platform/ui/dialog_manager.h"

namespace zedadu::ui {
namespace {

constexpr char kDefaultFrontEndLibrary[] = "libzedadu-dialog-qt.so";

Dialog& DialogOf(ZedaduDialogView* view) {
    return *reinterpret_cast<Dialog*>(view);
}
ZedaduDialogView* ViewOf(Dialog& dialog) {
    return reinterpret_cast<ZedaduDialogView*>(&dialog);
}

void Describe(ZedaduDialogView* view, ZedaduDialogInfo* info) {
    Dialog& dialog = DialogOf(view);
    const DialogTemplate& shape = dialog.dialogTemplate();
    *info = {shape.name,
             dialog.caption.c_str(),
             shape.fontName,
             shape.pointSize,
             shape.cx,
             shape.cy,
             static_cast<uint32_t>(dialog.controls().size()),
             dialog.parent()};
}

int32_t DescribeControl(ZedaduDialogView* view, uint32_t index, ZedaduDialogControl* out) {
    const auto& controls = DialogOf(view).controls();
    if (!out || index >= controls.size()) {
        return 0;
    }
    const Control& control = *controls[index];
    const DialogItemTemplate& item = *control.item;
    *out = {item.id,
            static_cast<int32_t>(control.kind),
            item.className,
            item.style,
            item.x,
            item.y,
            item.cx,
            item.cy,
            control.buddy ? control.buddy->item->id : 0,
            control.visible,
            control.enabled,
            static_cast<int32_t>(control.check),
            DisplayedText(control).c_str(),
            static_cast<int32_t>(control.items.size()),
            control.selection,
            control.minimum,
            control.maximum,
            control.position};
    return 1;
}

const char* ItemText(ZedaduDialogView* view, int32_t controlId, int32_t item) {
    const Control* control = DialogOf(view).control(controlId);
    if (!control || item < 0 || item >= static_cast<int32_t>(control->items.size())) {
        return nullptr;
    }
    return control->items[static_cast<size_t>(item)].c_str();
}

int32_t Act(ZedaduDialogView* view, const ZedaduDialogAction* action) {
    return action && PerformAction(DialogOf(view), *action, nullptr) ? 1 : 0;
}

int32_t Ended(ZedaduDialogView* view) {
    return DialogOf(view).ended ? 1 : 0;
}

const ZedaduDialogManager kManager = {
    sizeof(ZedaduDialogManager), Describe, DescribeControl, ItemText, Act, Ended};

class InteractiveFrontEnd final : public FrontEnd {
  public:
    explicit InteractiveFrontEnd(const ZedaduDialogFrontEnd& library) : library_(library) {}

    bool run(Dialog& dialog) override {
        return library_.run(library_.context, ViewOf(dialog), &kManager) != 0;
    }

    void changed(Dialog& dialog, int controlId, uint32_t what) override {
        library_.changed(library_.context, ViewOf(dialog), controlId, what);
    }

  private:
    const ZedaduDialogFrontEnd& library_;
};

std::string LibraryBesideThisModule() {
    char path[4096] = {};
    GetModuleFileNameA(ModuleInstanceOf(reinterpret_cast<const void*>(&Describe)), path,
                       sizeof path);
    std::string directory(path);
    directory.erase(directory.find_last_of('/') + 1);
    return directory + kDefaultFrontEndLibrary;
}

// Null when the library is missing, is not a front-end, or has no display to show windows on.
const ZedaduDialogFrontEnd* LoadLibrary(const std::string& path) {
    static std::map<std::string, void*> loaded;
    void*& handle = loaded[path];
    if (!handle) {
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!handle) {
        fprintf(stderr, "zedadu: no dialog front-end: %s\n", dlerror());
        return nullptr;
    }
    const auto entry =
        reinterpret_cast<ZedaduDialogGetFrontEnd>(dlsym(handle, ZEDADU_DIALOG_FRONTEND_ENTRY));
    const ZedaduDialogFrontEnd* frontEnd = entry ? entry() : nullptr;
    const bool usable = frontEnd && frontEnd->size >= sizeof(ZedaduDialogFrontEnd) &&
                        frontEnd->run && frontEnd->changed;
    return usable ? frontEnd : nullptr;
}

}  // namespace

std::unique_ptr<FrontEnd> LoadInteractiveFrontEnd(const std::string& library) {
    const ZedaduDialogFrontEnd* frontEnd =
        LoadLibrary(library.empty() ? LibraryBesideThisModule() : library);
    return frontEnd ? std::make_unique<InteractiveFrontEnd>(*frontEnd) : nullptr;
}

}  // namespace zedadu::ui
