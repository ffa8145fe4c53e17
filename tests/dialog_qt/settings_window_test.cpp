// The settings dialog as Qt windows on a virtual display, opened through AVFILE_SetWritingSettings
// and driven as a person drives them. Each choice is made twice, by the scripted front-end and in
// the window: the result records, the settings block, the INI file and every control come out the
// same. Screenshots of the three templates go to the build tree.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <sstream>

#include "core/module.h"
#include "dialog/settings_dialog.h"
#include "platform/hostlib/host_api.h"
#include "platform/ui/dialog_frontend.h"
#include "platform/ui/dialog_template.h"
#include "platform/ui/window_styles.h"
#include "plugin/plugin.h"
#include "tests/dialog/settings_call.h"
#include "tests/dialog_qt/person.h"

namespace zedadu::test {
namespace {

constexpr uint32_t kVideoOnly = kSettingsShowDialog | kSettingsLoadIni | kSettingsVideo;
constexpr uint32_t kAudioOnly = kSettingsShowDialog | kSettingsLoadIni | kSettingsAudio;
constexpr int kOk = 1;

std::string Hex(const void* bytes, size_t size) {
    std::ostringstream text;
    text << std::hex << std::setfill('0');
    for (size_t i = 0; i < size; ++i) {
        text << std::setw(2) << int(static_cast<const uint8_t*>(bytes)[i]);
    }
    return text.str();
}

// What a settings call leaves behind, as lines of text: the records (the block by its bytes), the
// INI file and the state of every control.
std::string Outcome(const WritingSettingsRecord& record, const std::string& iniPath,
                    const ui::DialogSnapshot& dialog) {
    ImageFormatStruct video = record.resultVideo;
    video.settingsBlock = nullptr;
    std::stringstream ini;
    ini << std::ifstream(iniPath).rdbuf();
    std::ostringstream text;
    text << "accepted " << record.accepted << "\nvideo " << Hex(&video, sizeof video) << "\nblock "
         << Hex(record.resultVideo.settingsBlock, record.resultVideo.settingsBlockSize)
         << "\naudio " << Hex(&record.resultAudio, sizeof record.resultAudio) << "\n"
         << ini.str() << dialog.templateName << " ended with " << dialog.result << "\n";
    for (const ui::ControlSnapshot& c : dialog.controls) {
        text << c.id << ": '" << c.text << "' selection " << c.selection << " check " << c.check
             << " enabled " << c.enabled << " position " << c.position << " items";
        for (const std::string& item : c.items) {
            text << " '" << item << "'";
        }
        text << "\n";
    }
    return text.str();
}

class SettingsWindow : public ::testing::Test {
  protected:
    SettingsWindow() : world(SettingsCallCompressors(), SettingsCallDrivers()) {}

    // A settings call from a fresh start (no INI file) with the dialog in a window that the driver
    // drives (none: no window may open), or else run by the script; what it leaves behind.
    std::string call(uint32_t request, Driver driver, const char* script = nullptr) {
        std::filesystem::remove(world.iniPath());
        if (script) {
            ZedaduHost_SetDialogScript(script);
        } else {
            ZedaduHost_SetInteractiveDialogs(ZEDADU_DIALOG_QT_PATH);
            DriveNextDialog(std::move(driver));
        }
        WritingSettingsRecord record = SettingsRequest(request);
        EXPECT_EQ(AVFILE_SetWritingSettings(&record), 1);
        EXPECT_FALSE(DriverWaiting()) << "no window opened";
        DriveNextDialog(nullptr);
        EXPECT_EQ(world.snapshot().failure, "") << (script ? script : "");
        const std::string outcome = Outcome(record, world.iniPath(), world.snapshot());
        AVFILE_ReleaseFormatFromSetWritingSettings(&record);
        return outcome;
    }

    DialogWorld world;
};

struct Scenario {
    const char* name;
    uint32_t request;
    const char* script;  // the same choices as the scripted front-end's user actions
    Driver drive;
};

TEST_F(SettingsWindow, WindowAndScriptComeToTheSameSettings) {
    const Scenario scenarios[] = {
        {"compressor and data rate", kEverything,
         "select 101 'Both Codec'; click 104; type 105 1500; click 102; click 114; press 1",
         [](QDialog& dialog) {
             ChooseInPopup(ControlOf<QComboBox>(dialog, 101), 2);
             Click(ControlOf(dialog, 104));
             TypeOver(ControlOf(dialog, 105), "1500");
             Click(ControlOf(dialog, 102));
             // A multi-line check box is checked by a click on its caption as well.
             Click(*ControlOf(dialog, 114).parentWidget()->findChild<QLabel*>());
             Click(ControlOf(dialog, kOk));
         }},
        {"quality typed and scrolled", kEverything,
         "type 108 250; scroll 109 page-left; scroll 109 line-left; type 103 12; press enter",
         [](QDialog& dialog) {
             TypeOver(ControlOf(dialog, 108), "250");
             EXPECT_EQ(ControlOf<QLineEdit>(dialog, 108).text(), "100");
             ClickPart(ControlOf<QScrollBar>(dialog, 109), QStyle::SC_ScrollBarSubPage);
             ClickPart(ControlOf<QScrollBar>(dialog, 109), QStyle::SC_ScrollBarSubLine);
             EXPECT_EQ(ControlOf<QScrollBar>(dialog, 109).value(), 96);
             TypeOver(ControlOf(dialog, 103), "12");
             PressKey(ControlOf(dialog, 103), Qt::Key_Return);
         }},
        {"custom frame size and rate, padding, fields, audio", kEverything,
         "select 123 Other; type 124 -5; spin 125 down; type 126 240; spin 127 up;"
         "select 120 Other; type 166 59.94; select 106 1; select 1011 2; select 1006 Mono;"
         "select 1007 '8 bit'; select 1008 '22.05 KHz'; press 1",
         [](QDialog& dialog) {
             PressKey(ControlOf(dialog, 123), Qt::Key_End);
             TypeOver(ControlOf(dialog, 124), "-5");
             PressKey(ControlOf(dialog, 124), Qt::Key_Down);
             TypeOver(ControlOf(dialog, 126), "240");
             ClickArrow(dialog, 127, Qt::UpArrow);
             EXPECT_EQ(ControlOf<QLineEdit>(dialog, 126).text(), "241");
             PressKey(ControlOf(dialog, 120), Qt::Key_End);
             TypeOver(ControlOf(dialog, 166), "59.94");
             ChooseInPopup(ControlOf<QComboBox>(dialog, 106), 1);
             ChooseInPopup(ControlOf<QComboBox>(dialog, 1011), 2);
             PressKey(ControlOf(dialog, 1006), Qt::Key_Down);
             PressKey(ControlOf(dialog, 1007), Qt::Key_Down);
             PressKey(ControlOf(dialog, 1008), Qt::Key_Down, 2);
             Click(ControlOf(dialog, kOk));
         }},
        {"cancel", kEverything, "select 101 'Both Codec'; click 104; press escape",
         [](QDialog& dialog) {
             ChooseInPopup(ControlOf<QComboBox>(dialog, 101), 2);
             Click(ControlOf(dialog, 104));
             QTest::keyClick(&dialog, Qt::Key_Escape);
         }},
        {"video only", kVideoOnly,
         "select 101 'Rate Codec'; select 122 0; select 120 PAL; press enter",
         [](QDialog& dialog) {
             SaveScreenshot(dialog, "AVIFILESETTINGS_VIDEO");
             ChooseInPopup(ControlOf<QComboBox>(dialog, 101), 1);
             ChooseInPopup(ControlOf<QComboBox>(dialog, 122), 0);
             PressKey(ControlOf(dialog, 120), Qt::Key_Down);
             PressKey(ControlOf(dialog, 120), Qt::Key_Return);
         }},
        {"audio only", kAudioOnly, "select 1008 0; select 1006 1; press 1",
         [](QDialog& dialog) {
             SaveScreenshot(dialog, "AVIFILESETTINGS_AUDIO");
             PressKey(ControlOf(dialog, 1008), Qt::Key_Home);
             PressKey(ControlOf(dialog, 1006), Qt::Key_Down);
             Click(ControlOf(dialog, kOk));
         }},
    };
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        const std::string script = call(scenario.request, nullptr, scenario.script);
        EXPECT_EQ(call(scenario.request, scenario.drive), script);
        // The application the front-end made went with the dialog.
        EXPECT_EQ(QCoreApplication::instance(), nullptr);
    }
}

TEST_F(SettingsWindow, TabGoesFromControlToControlInTheOrderOfTheTable) {
    std::vector<int> visited;
    call(kEverything, [&visited](QDialog& dialog) {
        SaveScreenshot(dialog, "AVIFILESETTINGS_BOTH");
        for (int i = 0; i < 60 && dialog.focusWidget(); ++i) {
            QWidget* focused = dialog.focusWidget();
            // The edit field of a combo box stands for the combo box.
            QWidget* control = focused->objectName().isEmpty() ? focused->parentWidget() : focused;
            visited.push_back(control->objectName().toInt());
            QTest::keyClick(focused, Qt::Key_Tab);
        }
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    const DialogTemplate& table = *FindDialogTemplate(ModuleInstance(), dialog::kTemplateBoth);
    std::vector<int> tabStops;
    for (size_t i = 0; i < table.itemCount; ++i) {
        const ui::ControlSnapshot& control = world.snapshot().control(table.items[i].id);
        if ((control.style & WS_TABSTOP) && control.visible && control.enabled) {
            tabStops.push_back(control.id);
        }
    }
    ASSERT_EQ(visited.size(), 60u);
    for (size_t i = 0; i < visited.size(); ++i) {
        EXPECT_EQ(visited[i], tabStops[i % tabStops.size()]) << "tab " << i;
    }
}

TEST_F(SettingsWindow, TheQualityThumbIsDraggedAndDropped) {
    int dropped = -1;
    const std::string outcome = call(kEverything, [&dropped](QDialog& dialog) {
        auto& bar = ControlOf<QScrollBar>(dialog, 109);
        DragThumb(bar, 40);
        dropped = bar.value();
        EXPECT_EQ(ControlOf<QLineEdit>(dialog, 108).text(), QString::number(dropped));
        Click(ControlOf(dialog, kOk));
    });
    EXPECT_NE(dropped, 75);
    EXPECT_NEAR(dropped, 40, 5);
    EXPECT_TRUE(outcome.starts_with("accepted 1\n"));
    EXPECT_EQ(world.ini("Quality"), std::to_string(dropped * 100));
}

TEST_F(SettingsWindow, InsideAHostApplicationTheHostsOwnIsUsed) {
    int argc = 1;
    char name[] = "host";
    char* argv[] = {name, nullptr};
    QApplication host(argc, argv);
    const std::string outcome = call(kAudioOnly, [](QDialog& dialog) {
        PressKey(ControlOf(dialog, 1006), Qt::Key_End);
        PressKey(ControlOf(dialog, 1006), Qt::Key_Return);
    });
    EXPECT_TRUE(outcome.starts_with("accepted 1\n"));
    EXPECT_EQ(world.ini("Channels", "AudioWritingSettings"), "1");
    EXPECT_EQ(QCoreApplication::instance(), &host);
}

// The options box of a compressor is a dialog opened from the settings dialog: it shows over the
// settings window, and what is typed in it reaches the compressor's state.
TEST(NestedWindow, TheOptionsBoxOpensOverTheSettingsWindow) {
    DialogWorld world({});  // the compressor layer's own drivers
    std::ofstream(world.iniPath()) << "[VideoWritingSettings]\nfccHandler=MPNG\n";
    ZedaduHost_SetInteractiveDialogs(ZEDADU_DIALOG_QT_PATH);
    std::string ownerCaption;
    DriveNextDialog([&ownerCaption](QDialog& settings) {
        DriveNextDialog([&ownerCaption](QDialog& options) {
            ownerCaption = options.parentWidget()->windowTitle().toStdString();
            EXPECT_EQ(options.windowTitle(), "PNG (MPNG) Options");
            SaveScreenshot(options, "compressor_options");
            TypeOver(ControlOf(options, 101), "5");
            PressKey(ControlOf(options, 101), Qt::Key_Return);
        });
        Click(ControlOf(settings, 107));
        EXPECT_TRUE(settings.isVisible());
        Click(ControlOf(settings, kOk));
    });
    WritingSettingsRecord record = SettingsRequest(kEverything);
    ASSERT_EQ(AVFILE_SetWritingSettings(&record), 1);
    EXPECT_FALSE(DriverWaiting());
    EXPECT_EQ(ownerCaption, "AVI File Setup");
    EXPECT_EQ(record.accepted, 1u);
    ASSERT_EQ(BlockOf(record).stateSize, 20u);
    const auto* state = reinterpret_cast<const uint8_t*>(&BlockOf(record)) + 148;
    EXPECT_EQ(memcmp(state + 12, "\x02\x00\x00\x00\x05\x00\x00\x00", 8), 0);
    AVFILE_ReleaseFormatFromSetWritingSettings(&record);
}

TEST_F(SettingsWindow, WithoutADisplayThereIsNoFrontEndAndTheCallIsCancelled) {
    ASSERT_EQ(getenv("WAYLAND_DISPLAY"), nullptr);
    void* library = dlopen(ZEDADU_DIALOG_QT_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    using GetFrontEnd = const ZedaduDialogFrontEnd* (*)();
    const auto entry = reinterpret_cast<GetFrontEnd>(dlsym(library, ZEDADU_DIALOG_FRONTEND_ENTRY));
    ASSERT_NE(entry, nullptr);
    const std::string display = getenv("DISPLAY") ? getenv("DISPLAY") : "";
    for (const char* named : {static_cast<const char*>(nullptr), ":4321"}) {
        named ? setenv("DISPLAY", named, 1) : unsetenv("DISPLAY");
        EXPECT_EQ(entry(), nullptr) << (named ? named : "no display");
        EXPECT_EQ(QCoreApplication::instance(), nullptr);
        EXPECT_TRUE(call(kEverything, nullptr).starts_with("accepted 0\n"));
        EXPECT_FALSE(std::filesystem::exists(world.iniPath()));
    }
    setenv("DISPLAY", display.c_str(), 1);
    EXPECT_NE(entry(), nullptr);
    dlclose(library);
}

}  // namespace
}  // namespace zedadu::test
