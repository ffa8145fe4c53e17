// The dialog manager's contract, on a small dialog of every control kind: control state as the
// platform keeps it, the messages a procedure gets and their order, scripts, nested dialogs, a
// window front-end loaded as a library, and the module's four templates.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <set>

#include "core/module.h"
#include "dialog/settings_dialog.h"
#include "platform/hostlib/host_api.h"
#include "platform/ui/dialog_frontend.h"
#include "platform/ui/dialog_template.h"
#include "platform/ui/dialog_testing.h"
#include "tests/dialog/fake_gui_report.h"

namespace zedadu::test {
namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DialogItemTemplate kItems[] = {
    {WC_EDIT, 10, "", kChild | WS_TABSTOP, 10, 10, 40, 12},
    {UPDOWN_CLASS, 11, "", kChild | UDS_AUTOBUDDY | UDS_SETBUDDYINT, 50, 10, 10, 12},
    {WC_COMBOBOX, 20, "", kChild | CBS_DROPDOWN | CBS_SORT, 10, 30, 60, 60},
    {WC_COMBOBOX, 21, "", kChild | CBS_DROPDOWNLIST, 80, 30, 60, 60},
    {WC_BUTTON, 30, "Check", kChild | BS_AUTOCHECKBOX, 10, 50, 60, 10},
    {WC_BUTTON, 31, "Disabled", kChild | WS_DISABLED, 80, 50, 60, 14},
    {WC_SCROLLBAR, 40, "", kChild | SBS_HORZ, 10, 70, 100, 10},
    {WC_STATIC, 50, "Hidden", WS_CHILD, 10, 85, 40, 8},
    {WC_BUTTON, IDOK, "OK", kChild | BS_DEFPUSHBUTTON, 90, 85, 50, 14},
    {WC_BUTTON, IDCANCEL, "Cancel", kChild, 145, 85, 50, 14},
};
constexpr DialogTemplate kTestDialog = {
    "TEST", 1033,   WS_POPUP | WS_CAPTION, "Test", "MS Sans Serif", 8, 0, 0, 200,
    104,    kItems, std::size(kItems)};

// The test procedure logs what it hears; OK and Cancel end it with their identifiers, Escape is
// ignored when the test wishes, and control 30 may open a nested dialog.
std::vector<std::string> heard;
std::function<void(HWND)> onInit;
bool ignoreCancel = false;
bool nestOnClick = false;
INT_PTR nestedResult = 0;

INT_PTR TestDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        heard.push_back("init");
        if (onInit) {
            onInit(dialog);
        }
        return TRUE;
    }
    const std::string code = std::to_string(HIWORD(wParam));
    if (message == WM_HSCROLL || message == WM_VSCROLL) {
        heard.push_back((message == WM_HSCROLL ? "hscroll " : "vscroll ") +
                        std::to_string(LOWORD(wParam)) + " " + code);
        return TRUE;
    }
    if (message != WM_COMMAND) {
        return 0;
    }
    const int id = LOWORD(wParam);
    heard.push_back("command " + std::to_string(id) + " " + code);
    if (id == IDOK || (id == IDCANCEL && !ignoreCancel)) {
        EndDialog(dialog, id);
    } else if (id == 30 && nestOnClick) {
        nestOnClick = false;
        nestedResult = DialogBoxIndirectParamA(nullptr, &kTestDialog, dialog, TestDialogProc, 0);
    }
    return 0;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string joined;
    for (const std::string& line : lines) {
        joined += (joined.empty() ? "" : ", ") + line;
    }
    return joined;
}

class DialogManager : public ::testing::Test {
  protected:
    void SetUp() override {
        heard.clear();
        onInit = nullptr;
        ignoreCancel = false;
        ui::SetDialogObserverForTesting([this](const ui::DialogSnapshot& s) { snapshot = s; });
    }
    void TearDown() override {
        ui::SetDialogObserverForTesting(nullptr);
        ZedaduHost_SetDialogScript(nullptr);
    }
    INT_PTR run(const char* script) {
        ZedaduHost_SetDialogScript(script);
        return DialogBoxIndirectParamA(nullptr, &kTestDialog, nullptr, TestDialogProc, 0);
    }
    ui::DialogSnapshot snapshot;
};

TEST_F(DialogManager, WithoutAFrontEndNoDialogOpens) {
    EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kTestDialog, nullptr, TestDialogProc, 0), -1);
    ZedaduHost_SetDialogScript("press enter");
    EXPECT_EQ(DialogBoxParamA(ModuleInstance(), "NO_SUCH_TEMPLATE", nullptr, TestDialogProc, 0),
              -1);
    EXPECT_EQ(DialogBoxParamA(ModuleInstance(), nullptr, nullptr, TestDialogProc, 0), -1);
    ZedaduHost_SetInteractiveDialogs("/nonexistent/libno-frontend.so");
    EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kTestDialog, nullptr, TestDialogProc, 0), -1);
    EXPECT_TRUE(heard.empty());
}

TEST_F(DialogManager, DialogIntegersReadAsThePlatformReadsThem) {
    struct Case {
        const char* text;
        BOOL isSigned;
        UINT value;
        BOOL translated;
    };
    const Case cases[] = {{" 42", FALSE, 42, TRUE},
                          {"-7", TRUE, UINT(-7), TRUE},
                          {"-7", FALSE, 0, FALSE},
                          {"abc", FALSE, 0, FALSE},
                          {"", TRUE, 0, FALSE},
                          {"12abc", FALSE, 12, TRUE},
                          {"4294967295", FALSE, 4294967295u, TRUE},
                          {"4294967296", FALSE, 0, FALSE},
                          {"2147483648", TRUE, 0, FALSE},
                          {"-2147483648", TRUE, 0x80000000u, TRUE}};
    onInit = [&](HWND dialog) {
        for (const Case& c : cases) {
            SetDlgItemTextA(dialog, 10, c.text);
            BOOL translated = 2;
            EXPECT_EQ(GetDlgItemInt(dialog, 10, &translated, c.isSigned), c.value) << c.text;
            EXPECT_EQ(translated, c.translated) << c.text;
        }
        SetDlgItemInt(dialog, 10, UINT(-5), TRUE);
        char text[16];
        EXPECT_EQ(GetDlgItemTextA(dialog, 10, text, sizeof text), 2u);
        EXPECT_STREQ(text, "-5");
        SetDlgItemInt(dialog, 10, UINT(-5), FALSE);
        GetDlgItemTextA(dialog, 10, text, 5);
        EXPECT_STREQ(text, "4294");  // cut to the buffer
    };
    EXPECT_EQ(run("press enter"), IDOK);
}

TEST_F(DialogManager, ControlsKeepTheirStateAsOnThePlatform) {
    onInit = [](HWND dialog) {
        for (const char* entry : {"b", "a", "c"}) {
            SendDlgItemMessageA(dialog, 20, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
        }
        EXPECT_EQ(SendDlgItemMessageA(dialog, 20, CB_INSERTSTRING, 1, LPARAM("x")), 1);
        EXPECT_EQ(SendDlgItemMessageA(dialog, 20, CB_SETCURSEL, 2, 0), 2);
        SendDlgItemMessageA(dialog, 20, CB_INSERTSTRING, 0, LPARAM("z"));  // before the selection
        EXPECT_EQ(SendDlgItemMessageA(dialog, 20, CB_GETCURSEL, 0, 0), 3);
        char text[16] = {};
        EXPECT_EQ(SendDlgItemMessageA(dialog, 20, CB_GETLBTEXT, 3, LPARAM(text)), 1);
        EXPECT_STREQ(text, "b");
        EXPECT_EQ(GetDlgItemTextA(dialog, 20, text, sizeof text), 1u);  // the edit field
        EXPECT_EQ(SendDlgItemMessageA(dialog, 20, CB_GETLBTEXTLEN, 9, 0), CB_ERR);
        EXPECT_EQ(SendDlgItemMessageA(dialog, 20, CB_INSERTSTRING, 9, LPARAM("y")), CB_ERR);
        SetDlgItemTextA(dialog, 20, "typed by the program");  // no notification, selection kept
        EXPECT_EQ(SendDlgItemMessageA(dialog, 20, CB_GETCURSEL, 0, 0), 3);
        EXPECT_EQ(SendDlgItemMessageA(dialog, 21, WM_SETTEXT, 0, LPARAM("x")), CB_ERR);
        SendDlgItemMessageA(dialog, 21, CB_ADDSTRING, 0, LPARAM("only"));
        EXPECT_EQ(SendDlgItemMessageA(dialog, 21, CB_SETCURSEL, 5, 0), CB_ERR);
        EXPECT_EQ(SendDlgItemMessageA(dialog, 21, CB_SETCURSEL, 0, 0), 0);
        HWND bar = GetDlgItem(dialog, 40);
        int low = -1, high = -1;
        EXPECT_TRUE(GetScrollRange(bar, SB_CTL, &low, &high));
        EXPECT_EQ(high - low, 0);  // a new scroll bar has an empty range
        SetScrollRange(bar, SB_CTL, 0, 100, FALSE);
        EXPECT_EQ(SetScrollPos(bar, SB_CTL, 150, TRUE), 0);
        EXPECT_EQ(GetScrollPos(bar, SB_CTL), 100);
        SetScrollRange(bar, SB_CTL, 0, 50, FALSE);
        EXPECT_EQ(GetScrollPos(bar, SB_CTL), 50);
        SendDlgItemMessageA(dialog, 11, UDM_SETRANGE, 0, MAKELPARAM(100, 0));
        EXPECT_EQ(SendDlgItemMessageA(dialog, 11, UDM_GETRANGE, 0, 0), MAKELPARAM(100, 0));
        EXPECT_TRUE(EnableWindow(GetDlgItem(dialog, 31), TRUE));  // it was disabled
        EXPECT_FALSE(EnableWindow(GetDlgItem(dialog, 31), FALSE));
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, 50)));
        EXPECT_EQ(GetDlgItem(dialog, 99), nullptr);
        EXPECT_EQ(GetDlgCtrlID(GetDlgItem(dialog, 40)), 40);
        EXPECT_EQ(SetWindowLongPtrA(dialog, DWLP_USER, 42), 0);  // the procedure's own word
        EXPECT_EQ(GetWindowLongPtrA(dialog, DWLP_USER), 42);
        EXPECT_EQ(GetWindowLongPtrA(dialog, 0), 0);
        EXPECT_EQ(SetWindowLongPtrA(GetDlgItem(dialog, 40), DWLP_USER, 7), 0);  // no control's
        SetDlgItemTextA(dialog, 10, "12");  // a single-line edit reports it
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(201, 0), 0);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(202, 0), 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(200, 0), 0);
    };
    ASSERT_EQ(run("spin 11 up; select 21 0; click 30; scroll 40 page-right; scroll 40 thumb 9;"
                  "type 20 typed; press enter"),
              IDOK);
    // Sent during initialisation, then posted in order; a spin reports the buddy's new value 13.
    EXPECT_EQ(Joined(heard),
              "init, command 10 1024, command 10 768, command 200 0, command 201 0, command 202 0, "
              "command 10 1024, command 10 768, vscroll 4 13, vscroll 8 0, command 21 9, "
              "command 21 1, command 30 0, hscroll 3 0, hscroll 8 0, hscroll 5 9, hscroll 4 9, "
              "hscroll 8 0, command 20 6, command 20 5, command 1 0");
    EXPECT_EQ(snapshot.control(10).text, "13");
    EXPECT_EQ(snapshot.control(20).items, (std::vector<std::string>{"z", "a", "x", "b", "c"}));
    EXPECT_EQ(snapshot.control(20).selection, -1);  // typing leaves no entry selected
    EXPECT_EQ(snapshot.control(20).text, "typed");
    EXPECT_EQ(snapshot.control(21).text, "only");
    EXPECT_EQ(snapshot.control(30).check, BST_CHECKED);
    EXPECT_EQ(snapshot.control(40).position, 50);  // scrolling moves nothing by itself
    EXPECT_FALSE(snapshot.control(31).enabled);
    EXPECT_EQ(snapshot.result, IDOK);
}

TEST_F(DialogManager, ScriptsThatCannotGoOnEndTheDialog) {
    struct Case {
        const char* script;
        const char* reason;
    };
    const Case cases[] = {{"click 31", "disabled"},
                          {"click 50", "hidden"},
                          {"click 99", "no control 99"},
                          {"frobnicate 10", "not understood"},
                          {"select 21 5", "has 0 entries"},
                          {"expect 30 checked", "unchecked"},
                          {"type 30 x", "no edit field"},
                          {"scroll 40 sideways", "not understood"},
                          {"expect 10 text 'no'", "text \"\""},
                          {"select 10 0", "not a list"}};
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.script), -1) << c.script;
        EXPECT_NE(snapshot.failure.find(c.reason), std::string::npos) << snapshot.failure;
    }
    // A script that runs out presses Escape; a dialog that ignores it ends with -1.
    EXPECT_EQ(run("click 30"), IDCANCEL);
    ignoreCancel = true;
    EXPECT_EQ(run("# nothing but a comment"), -1);
    EXPECT_NE(snapshot.failure.find("ran out"), std::string::npos);
}

TEST_F(DialogManager, NestedDialogsTakeTheirActionsFromTheSameScript) {
    nestOnClick = true;
    nestedResult = 0;
    ASSERT_EQ(run("click 30; type 10 inner; press enter; expect 10 text ''; type 10 outer;"
                  "press escape"),
              IDCANCEL);
    EXPECT_EQ(nestedResult, IDOK);
    EXPECT_EQ(snapshot.control(10).text, "outer");
    EXPECT_EQ(std::count(heard.begin(), heard.end(), "init"), 2);
}

TEST_F(DialogManager, AWindowFrontEndRendersReceivesChangesAndActs) {
    ZedaduHost_SetInteractiveDialogs(ZEDADU_FAKE_GUI_PATH);
    ASSERT_EQ(DialogBoxIndirectParamA(nullptr, &kTestDialog, nullptr, TestDialogProc, 0), IDOK);
    void* library = dlopen(ZEDADU_FAKE_GUI_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr);
    using ReportFunction = const void* (*)();
    const auto& report = *static_cast<const FakeGuiReport*>(
        reinterpret_cast<ReportFunction>(dlsym(library, "FakeGui_Report"))());
    dlclose(library);
    EXPECT_EQ(report.runs, 1);
    EXPECT_EQ(report.caption, "Test");
    EXPECT_EQ(report.kinds.size(), std::size(kItems));
    EXPECT_EQ(report.kinds[1], ZEDADU_CONTROL_UP_DOWN);
    EXPECT_EQ(report.kinds[3], ZEDADU_CONTROL_DROP_DOWN_LIST);
    EXPECT_EQ(report.buddyOfUpDown, 10);
    EXPECT_EQ(report.textAfterTyping, "7");
    const std::vector<std::string> changes = {"10:1", "30:2", "0:128"};
    EXPECT_EQ(report.changes, changes);
    EXPECT_EQ(heard.back(), "command 1 0");
}

// Tab order of the settings dialog, as its table lists the controls.
constexpr int kBothOrder[] = {1032, 1022, 123,  1026, 124,  125,  1027, 126, 127,  1021, 120,  166,
                              1028, 1023, 122,  1024, 1011, 1025, 101,  107, 110,  1016, 109,  108,
                              102,  103,  1033, 113,  104,  105,  1030, 112, 1029, 106,  1031, 114,
                              1017, 1018, 1019, 1020, 1006, 1007, 1008, 1,   2};
constexpr int kVideoControls[] = {101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 112,
                                  113, 114, 120, 122, 123, 124, 125, 126, 127, 166, 1011};

std::set<int> Hidden(const DialogTemplate& shape) {
    std::set<int> hidden;
    for (size_t i = 0; i < shape.itemCount; ++i) {
        if (!(shape.items[i].style & WS_VISIBLE)) {
            hidden.insert(shape.items[i].id);
        }
    }
    return hidden;
}

const DialogItemTemplate& Item(const DialogTemplate& shape, int id) {
    for (size_t i = 0; i < shape.itemCount; ++i) {
        if (shape.items[i].id == id) {
            return shape.items[i];
        }
    }
    throw std::out_of_range(std::to_string(id));
}

// Visible controls other than group boxes do not overlap; a combo box counts with its closed
// height.
void ExpectTidy(const DialogTemplate& shape) {
    auto box = [](const DialogItemTemplate& item) {
        const bool combo = std::string(item.className) == WC_COMBOBOX;
        return std::array<int, 4>{item.x, item.y, item.x + item.cx,
                                  item.y + (combo ? 12 : item.cy)};
    };
    for (size_t i = 0; i < shape.itemCount; ++i) {
        const DialogItemTemplate& a = shape.items[i];
        const auto r = box(a);
        EXPECT_TRUE(r[0] >= 0 && r[1] >= 0 && r[2] <= shape.cx && r[3] <= shape.cy) << a.id;
        for (size_t j = i + 1; j < shape.itemCount; ++j) {
            const DialogItemTemplate& b = shape.items[j];
            if (!(a.style & b.style & WS_VISIBLE) || (a.style & BS_TYPEMASK) == BS_GROUPBOX ||
                (b.style & BS_TYPEMASK) == BS_GROUPBOX) {
                continue;
            }
            const auto s = box(b);
            EXPECT_FALSE(r[0] < s[2] && s[0] < r[2] && r[1] < s[3] && s[1] < r[3])
                << shape.name << ": " << a.caption << " " << a.id << " and " << b.id;
        }
    }
}

TEST(DialogTemplates, TheModuleCarriesTheFourTemplates) {
    struct Case {
        const char* name;
        const char* caption;
        short width, height;
    };
    const Case cases[] = {{"AVIFILESETTINGS_BOTH", "AVI File Setup", 323, 319},
                          {"AVIFILESETTINGS_VIDEO", "AVI File Setup", 323, 242},
                          {"avifilesettings_audio", "AVI File Setup", 323, 79},
                          {"AVISETTINGSCAPTURE", "AVI Compression Setup", 323, 246}};
    for (const Case& c : cases) {
        const DialogTemplate* shape = FindDialogTemplate(ModuleInstance(), c.name);
        ASSERT_NE(shape, nullptr) << c.name;
        EXPECT_STREQ(shape->caption, c.caption);
        EXPECT_EQ(shape->cx, c.width);
        EXPECT_EQ(shape->cy, c.height);
        EXPECT_STREQ(shape->fontName, "MS Sans Serif");
        EXPECT_EQ(shape->pointSize, 8);
        EXPECT_EQ(shape->language, 1033);
        EXPECT_EQ(shape->style, DS_MODALFRAME | DS_SYSMODAL | DS_SETFOREGROUND | DS_SETFONT |
                                    WS_POPUP | WS_CAPTION | WS_SYSMENU);
        ExpectTidy(*shape);
    }
    const DialogTemplate& both = *FindDialogTemplate(ModuleInstance(), dialog::kTemplateBoth);
    std::vector<int> order;
    for (size_t i = 0; i < both.itemCount; ++i) {
        order.push_back(both.items[i].id);
    }
    EXPECT_EQ(order, std::vector<int>(std::begin(kBothOrder), std::end(kBothOrder)));
    EXPECT_TRUE(Hidden(both).empty());
    EXPECT_EQ(Item(both, 101).style & (CBS_TYPEMASK | CBS_SORT), CBS_DROPDOWNLIST | CBS_SORT);
    for (const int id : {105, 106, 1011}) {
        EXPECT_EQ(Item(both, id).style & (CBS_TYPEMASK | CBS_SORT), CBS_DROPDOWN | CBS_SORT);
    }
    for (const int id : {120, 122, 123, 1006, 1007, 1008}) {
        EXPECT_EQ(Item(both, id).style & (CBS_TYPEMASK | CBS_SORT), CBS_DROPDOWNLIST);
    }
    for (const int id : {112, 113, 114}) {
        EXPECT_EQ(Item(both, id).style & (BS_TYPEMASK | BS_MULTILINE),
                  BS_AUTOCHECKBOX | BS_MULTILINE);
    }
    EXPECT_EQ(Item(both, 102).style & BS_TYPEMASK, BS_AUTOCHECKBOX);
    EXPECT_EQ(Item(both, IDOK).style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    constexpr DWORD kUpDown =
        UDS_AUTOBUDDY | UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_ALIGNRIGHT | UDS_NOTHOUSANDS;
    EXPECT_EQ(Item(both, 125).style & kUpDown, kUpDown);

    const DialogTemplate& video = *FindDialogTemplate(ModuleInstance(), dialog::kTemplateVideo);
    EXPECT_EQ(Hidden(video), (std::set<int>{1006, 1007, 1008}));
    EXPECT_THROW(Item(video, 1018), std::out_of_range);
    const DialogTemplate& audio = *FindDialogTemplate(ModuleInstance(), dialog::kTemplateAudio);
    EXPECT_EQ(Hidden(audio), std::set<int>(std::begin(kVideoControls), std::end(kVideoControls)));
    EXPECT_THROW(Item(audio, 1017), std::out_of_range);
    EXPECT_THROW(Item(audio, 1022), std::out_of_range);
    const DialogTemplate& capture = *FindDialogTemplate(ModuleInstance(), "AVISETTINGSCAPTURE");
    for (const int id : {101, 107, 110,  108, 109, 102, 103, 104, 105, 106, 112,
                         113, 114, 1015, 119, 115, 116, 117, 118, 1,   2}) {
        EXPECT_NO_THROW(Item(capture, id)) << id;
    }
}

}  // namespace
}  // namespace zedadu::test
