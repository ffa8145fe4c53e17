// The host's English string table: the plug-in's name and description, the settings dialog's
// labels and the messages. "%1" and "%2" in a message stand for its two texts.
#include "platform/hostlib/strings.h"

#include <algorithm>
#include <iterator>

namespace zedadu::hostlib {
namespace {

struct Entry {
    uint32_t id;
    const char* text;
};

constexpr Entry kStrings[] = {
    {40, "%1: there is not enough memory to ask the compressor which formats it accepts."},
    {kReplaceFileString, "The file \"%1\" already exists.\nDo you want to replace it?"},
    {785, "AVI file writer"},
    {786, "Cannot start writing: %1"},
    {787,
     "the file was opened without a video stream, and an AVI file starts with its first "
     "video frame."},
    {788,
     "%1: the selected video compressor cannot be opened or does not accept frames of "
     "this size and depth."},
    {789,
     "%1: the data rate is too low to carry the audio and padding of every frame.\nWrite "
     "the file without a data-rate limit?"},
    {790, "%1: the audio block is larger than one audio slot of the file and was not written."},
    {792,
     "%1: the compression quality is very low.\nYes uses the default quality of 75, No keeps "
     "the low quality, Cancel returns to the settings."},
    {1266, "OK"},
    {1267, "Cancel"},
    {1316, "Frames"},
    {1449, "AVI File Setup"},
    {1455, "Frame &Rate : "},
    {1456, "f/sec"},
    {1457, "Color Bit Depth : "},
    {1459, "Compressor :"},
    {1461, "Padding to Meet"},
    {1462, "Byte Boundary"},
    {1464, "Channels : "},
    {1465, "Bit Depth : "},
    {1466, "Samples Per Second : "},
    {1467, "Configure"},
    {1468, "About"},
    {1470, "Compression Quality :"},
    {1471, "Key Frame Every"},
    {1472, "Recompress Always"},
    {1473, "Data Rate"},
    {1474, "Recompress to Match Data Rate"},
    {1475, "Offset audio 3/4 of a second"},
    {1483, "None (progressive)"},
    {1484, "Upper field first"},
    {1485, "Lower field first"},
    {1624, "KB/Sec"},
    {1645, "Frame size : "},
    {1646, "W "},
    {1647, "H "},
    {1648, "Field Interleaving : "},
    {1651, "Audio : "},
    {1677, "Video : "},
    {1800, "AVI file (Audio Video Interleave)"},
    {1801, "AVI File Format"},
};

}  // namespace

const char* BuiltInString(uint32_t id) {
    const auto* entry = std::find_if(std::begin(kStrings), std::end(kStrings),
                                     [id](const Entry& e) { return e.id == id; });
    return entry == std::end(kStrings) ? "" : entry->text;
}

}  // namespace zedadu::hostlib
