// Compressor drivers with chosen capabilities for the dialog tests, installed with ICInstall and
// listed in a "system.ini" of a scratch Windows directory, and the rest of a dialog test's world:
// the INI file beside a pretend host executable, recorded message boxes, the dialog's last
// snapshot.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/records.h"
#include "platform/ui/dialog_testing.h"
#include "platform/vfw/vfw.h"
#include "tests/support/test_support.h"

namespace zedadu::test {

struct FakeCompressor {
    FOURCC handler;
    DWORD flags = 0;  // VIDCF_*
    std::u16string description{};
    int64_t stateSize = 0;  // what ICM_GETSTATE answers for the length
    bool hasConfigureBox = false;
    bool hasAboutBox = false;
    bool proposesFormats = true;                   // ICM_COMPRESS_GET_FORMAT answers ICERR_OK
    std::set<int> acceptedDepths = {24};           // ICM_COMPRESS_QUERY with an output format
    std::set<std::pair<int, int>> refusedSizes{};  // ICM_COMPRESS_QUERY without one: bad format

    // What it was sent, in order (messages of the ICM_ range only).
    std::vector<UINT> messages{};
    std::vector<LPARAM> configureOwners{};
    std::vector<LPARAM> aboutOwners{};
    std::vector<uint8_t> restoredState{};  // the bytes of the last ICM_SETSTATE
    std::optional<DWORD> quality{};        // of ICM_SETQUALITY
    int opened = 0;
    int closed = 0;
};

// The state bytes a fake compressor hands out: a pattern that names it.
uint8_t StateByte(const FakeCompressor& compressor, size_t index);

// Installs the compressors for its lifetime and writes "system.ini" with the given sections
// (each a list of key names) in a scratch Windows directory; the host executable, and so
// "ZEDADU.ini", lives in the same directory. A world without compressors and keys has no
// "system.ini": the compressor layer then writes its own list of the built-in drivers.
class DialogWorld {
  public:
    DialogWorld(std::vector<FakeCompressor> compressors, std::vector<std::string> drivers32 = {},
                std::vector<std::string> drivers = {});
    ~DialogWorld();
    DialogWorld(const DialogWorld&) = delete;
    DialogWorld& operator=(const DialogWorld&) = delete;

    FakeCompressor& compressor(const char* code);
    // A key of "VideoWritingSettings" (or another section) of ZEDADU.ini; "-" when absent.
    std::string ini(const char* key, const char* section = "VideoWritingSettings") const;
    std::string iniPath() const { return directory_.file("ZEDADU.ini"); }
    // The snapshot of the last dialog that ended.
    const ui::DialogSnapshot& snapshot() const { return snapshot_; }

  private:
    ScratchDirectory directory_;
    std::vector<FakeCompressor> compressors_;
    MessageRecorder messages_;  // boxes a test does not record itself are answered quietly
    ui::DialogSnapshot snapshot_;
};

}  // namespace zedadu::test
