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
#include <sstream>

#include "frame/plugin.h"
#include "platform/hostlib/host_api.h"
#include "platform/ui/dialog_frontend.h"
#include "platform/ui/window_styles.h"
#include "tests/dialog/settings_call.h"
#include "tests/dialog_qt/person.h"

namespace zedadu::test {
namespace {

constexpr uint32_t kVideoOnly = kSettingsShowDialog | kSettingsLoadIni | kSettingsVideo;
constexpr uint32_t kAudioOnly = kSettingsShowDialog | kSettingsLoadIni | kSettingsAudio;

// What a settings call leaves behind.
struct Outcome {
    uint32_t accepted = 0;
    ImageFormatStruct video{};  // without its pointer to the block
    std::vector<uint8_t> block;
    AudioFormatRecord audio{};
    std::string ini;
    ui::DialogSnapshot dialog;
};

std::string Contents(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

void ExpectSameControls(const ui::DialogSnapshot& window, const ui::DialogSnapshot& script) {
    EXPECT_EQ(window.templateName, script.templateName);
    EXPECT_EQ(window.result, script.result);
    ASSERT_EQ(window.controls.size(), script.controls.size());
    for (size_t i = 0; i < window.controls.size(); ++i) {
        const ui::ControlSnapshot& shown = window.controls[i];
        const ui::ControlSnapshot& scripted = script.controls[i];
        SCOPED_TRACE(shown.id);
        EXPECT_EQ(shown.text, scripted.text);
        EXPECT_EQ(shown.items, scripted.items);
        EXPECT_EQ(shown.selection, scripted.selection);
        EXPECT_EQ(shown.check, scripted.check);
        EXPECT_EQ(shown.enabled, scripted.enabled);
        EXPECT_EQ(shown.position, scripted.position);
    }
}

void ExpectSame(const Outcome& window, const Outcome& script) {
    EXPECT_EQ(window.accepted, script.accepted);
    EXPECT_EQ(memcmp(&window.video, &script.video, sizeof window.video), 0) << "video record";
    EXPECT_EQ(window.block, script.block);
    EXPECT_EQ(memcmp(&window.audio, &script.audio, sizeof window.audio), 0) << "audio record";
    EXPECT_EQ(window.ini, script.ini);
    ExpectSameControls(window.dialog, script.dialog);
}

class SettingsWindow : public ::testing::Test {
  protected:
    SettingsWindow() : world(SettingsCallCompressors(), SettingsCallDrivers()) {}

    Outcome scripted(uint32_t request, const std::string& script) {
        ZedaduHost_SetDialogScript(script.c_str());
        Outcome outcome = call(request);
        EXPECT_EQ(outcome.dialog.failure, "") << script;
        return outcome;
    }
    Outcome shown(uint32_t request, Driver driver) {
        ZedaduHost_SetInteractiveDialogs(ZEDADU_DIALOG_QT_PATH);
        DriveNextDialog(std::move(driver));
        Outcome outcome = call(request);
        EXPECT_FALSE(DriverWaiting()) << "no window opened";
        DriveNextDialog(nullptr);
        return outcome;
    }
    Outcome notShown(uint32_t request) {
        ZedaduHost_SetInteractiveDialogs(ZEDADU_DIALOG_QT_PATH);
        return call(request);
    }

    DialogWorld world;

  private:
    // A settings call from a fresh start: no INI file.
    Outcome call(uint32_t request) {
        std::filesystem::remove(world.iniPath());
        WritingSettingsRecord record = SettingsRequest(request);
        EXPECT_EQ(AVFILE_SetWritingSettings(&record), 1);
        Outcome outcome{record.accepted,    record.resultVideo,        {},
                        record.resultAudio, Contents(world.iniPath()), world.snapshot()};
        outcome.video.settingsBlock = nullptr;
        const auto* block = static_cast<const uint8_t*>(record.resultVideo.settingsBlock);
        if (block) {
            outcome.block.assign(block, block + record.resultVideo.settingsBlockSize);
        }
        AVFILE_ReleaseFormatFromSetWritingSettings(&record);
        return outcome;
    }
};

constexpr int kOk = 1;

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
        const Outcome script = scripted(scenario.request, scenario.script);
        const Outcome window = shown(scenario.request, scenario.drive);
        ExpectSame(window, script);
        // The application the front-end made went with the dialog.
        EXPECT_EQ(QCoreApplication::instance(), nullptr);
    }
}

// Tab order of the settings dialog, as its table lists the controls.
constexpr int kBothOrder[] = {1032, 1022, 123,  1026, 124,  125,  1027, 126, 127,  1021, 120,  166,
                              1028, 1023, 122,  1024, 1011, 1025, 101,  107, 110,  1016, 109,  108,
                              102,  103,  1033, 113,  104,  105,  1030, 112, 1029, 106,  1031, 114,
                              1017, 1018, 1019, 1020, 1006, 1007, 1008, 1,   2};

TEST_F(SettingsWindow, TabGoesFromControlToControlInTheOrderOfTheTable) {
    std::vector<int> visited;
    const Outcome outcome = shown(kEverything, [&visited](QDialog& dialog) {
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
    std::vector<int> tabStops;
    for (const int id : kBothOrder) {
        const ui::ControlSnapshot& control = outcome.dialog.control(id);
        if ((control.style & WS_TABSTOP) && control.visible && control.enabled) {
            tabStops.push_back(id);
        }
    }
    ASSERT_EQ(visited.size(), 60u);
    for (size_t i = 0; i < visited.size(); ++i) {
        EXPECT_EQ(visited[i], tabStops[i % tabStops.size()]) << "tab " << i;
    }
}

TEST_F(SettingsWindow, TheQualityThumbIsDraggedAndDropped) {
    int dropped = -1;
    const Outcome outcome = shown(kEverything, [&dropped](QDialog& dialog) {
        auto& bar = ControlOf<QScrollBar>(dialog, 109);
        DragThumb(bar, 40);
        dropped = bar.value();
        EXPECT_EQ(ControlOf<QLineEdit>(dialog, 108).text(), QString::number(dropped));
        Click(ControlOf(dialog, kOk));
    });
    EXPECT_NE(dropped, 75);
    EXPECT_NEAR(dropped, 40, 5);
    EXPECT_EQ(outcome.accepted, 1u);
    EXPECT_EQ(world.ini("Quality"), std::to_string(dropped * 100));
}

TEST_F(SettingsWindow, InsideAHostApplicationTheHostsOwnIsUsed) {
    int argc = 1;
    char name[] = "host";
    char* argv[] = {name, nullptr};
    QApplication host(argc, argv);
    const Outcome outcome = shown(kAudioOnly, [](QDialog& dialog) {
        PressKey(ControlOf(dialog, 1006), Qt::Key_End);
        PressKey(ControlOf(dialog, 1006), Qt::Key_Return);
    });
    EXPECT_EQ(outcome.accepted, 1u);
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

using GetFrontEnd = const ZedaduDialogFrontEnd* (*)();

class DisplayNamed {
  public:
    DisplayNamed(const char* display) : saved_(getenv("DISPLAY") ? getenv("DISPLAY") : "") {
        display ? setenv("DISPLAY", display, 1) : unsetenv("DISPLAY");
    }
    ~DisplayNamed() { setenv("DISPLAY", saved_.c_str(), 1); }

  private:
    std::string saved_;
};

TEST_F(SettingsWindow, WithoutADisplayThereIsNoFrontEndAndTheCallIsCancelled) {
    ASSERT_EQ(getenv("WAYLAND_DISPLAY"), nullptr);
    void* library = dlopen(ZEDADU_DIALOG_QT_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    const auto entry = reinterpret_cast<GetFrontEnd>(dlsym(library, ZEDADU_DIALOG_FRONTEND_ENTRY));
    ASSERT_NE(entry, nullptr);
    for (const char* display : {static_cast<const char*>(nullptr), ":4321"}) {
        const DisplayNamed named(display);
        EXPECT_EQ(entry(), nullptr) << (display ? display : "no display");
        EXPECT_EQ(QCoreApplication::instance(), nullptr);
        const Outcome outcome = notShown(kEverything);
        EXPECT_EQ(outcome.accepted, 0u);
        EXPECT_EQ(outcome.ini, "");
    }
    EXPECT_NE(entry(), nullptr);
    dlclose(library);
}

}  // namespace
}  // namespace zedadu::test
