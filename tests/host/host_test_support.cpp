#include "tests/host/host_test_support.h"

#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "plugin/plugin.h"
#include "tests/support/test_support.h"

namespace zedadu::test {

const char kUncompressedSettings[] =
    "[VideoWritingSettings]\nfccHandler=DIB \nWidth=64\nHeight=48\nRate=25\nScale=1\n"
    "PaddingSize=1024\nKeyFrameRate=1\nDataRate=100\noffsetAudioandVideo=1\n"
    "[AudioWritingSettings]\nChannels=1\nSamplesPerSecond=22050\n";

void HostTest::SetUp() {
    namespace fs = std::filesystem;
    for (const char* binary : {ZEDADU_HOST_PATH, ZEDADU_PLUGIN_PATH, ZEDADU_HOSTLIB_PATH}) {
        fs::copy_file(binary, dir.path() / fs::path(binary).filename());
    }
}

HostRun HostTest::Host(const std::string& arguments) const {
    return HostAs("", arguments);
}

HostRun HostTest::HostAs(const std::string& user, const std::string& arguments) const {
    const std::string command = "cd '" + dir.path().string() +
                                "' && env -u DISPLAY -u WAYLAND_DISPLAY " + user +
                                " ./zedadu-host " + arguments + " >host.out 2>host.err </dev/null";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadBytes(file("host.out")),
            ReadBytes(file("host.err"))};
}

HostRun HostTest::HostOnTerminal(const std::string& arguments, const std::string& input) const {
    const CommandResult run = test::Run("cd '" + dir.path().string() + "' && printf '" + input +
                                        "' | script -qec 'env -u DISPLAY -u WAYLAND_DISPLAY "
                                        "./zedadu-host " +
                                        arguments + "' /dev/null");
    return {WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1, run.output, ""};
}

HostRun HostTest::HostWithoutPrivileges(const std::string& arguments) const {
    if (geteuid() != 0) {
        return Host(arguments);
    }
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    return HostAs("HOME=. setpriv --reuid=65534 --regid=65534 --clear-groups", arguments);
}

nlohmann::ordered_json HostTest::HostJson(const std::string& arguments, int status) const {
    const HostRun run = Host(arguments);
    if (status >= 0) {
        EXPECT_EQ(run.status, status) << arguments << "\n" << run.err;
    }
    return nlohmann::ordered_json::parse(run.out, nullptr, false);
}

void HostTest::WriteSettings(const std::string& text) const {
    std::ofstream(file("ZEDADU.ini")) << text;
}

void HostTest::Ffmpeg(const std::string& arguments) const {
    const CommandResult result =
        test::Run("cd '" + dir.path().string() + "' && ffmpeg -nostdin -v error -y " + arguments);
    ASSERT_EQ(result.status, 0) << result.output;
}

ProbedStream Probe(const std::string& path, const char* kind) {
    const CommandResult run = test::Run(
        std::string("ffprobe -v error -count_packets -select_streams ") + kind +
        ":0 -show_entries stream=nb_read_packets,duration,sample_rate,channels -of json '" + path +
        "'");
    const auto json = nlohmann::json::parse(run.output, nullptr, false);
    ProbedStream probed;
    if (run.status != 0 || json.is_discarded() || json["streams"].empty()) {
        ADD_FAILURE() << "ffprobe " << path << ": " << run.output;
        return probed;
    }
    const auto& stream = json["streams"][0];
    const auto number = [&](const char* key) {
        return stream.contains(key) ? std::stod(stream[key].get<std::string>()) : -1.0;
    };
    probed.packets = int64_t(number("nb_read_packets"));
    probed.seconds = number("duration");
    probed.sampleRate = stream.contains("sample_rate") ? int64_t(number("sample_rate")) : 0;
    probed.channels = stream.value("channels", 0);
    return probed;
}

Picture ReadPng(const std::string& path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    Picture picture;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        ADD_FAILURE() << path << ": " << png.message;
        return picture;
    }
    png.format = PNG_FORMAT_RGB;
    picture.width = png.width;
    picture.height = png.height;
    picture.rgb.resize(PNG_IMAGE_SIZE(png));
    EXPECT_TRUE(png_image_finish_read(&png, nullptr, picture.rgb.data(), 0, nullptr)) << path;
    return picture;
}

DeliveredBytes ReadFrameBytesDirectly(const std::string& path, uint32_t frame, const char* formatId,
                                      int32_t width, int32_t height) {
    const ReadingFile file(path);
    if (!file.opened()) {
        ADD_FAILURE() << "cannot open " << path;
        return {};
    }
    const ImageFormatStruct& offered = file.info().videoFormats[0];
    width = width ? width : offered.width;
    height = height ? height : offered.height;
    DeliveredBytes delivered{{}, std::vector<uint8_t>(size_t(width + 1) * height * 4)};
    ImageFrameRequest request = FrameRequest(frame, formatId, width, height, delivered.bytes);
    EXPECT_EQ(AVFILE_ReadImageFrame(file.handle(), &request), 1);
    delivered.result = request.result;
    delivered.bytes.resize(request.result.imageSize);
    return delivered;
}

Picture ReadFrameDirectly(const std::string& path, uint32_t frame, const char* formatId,
                          int32_t width, int32_t height) {
    const DeliveredBytes delivered = ReadFrameBytesDirectly(path, frame, formatId, width, height);
    const uint32_t bytes = strcmp(delivered.result.formatId, FORMAT_ID_RGB32) == 0 ? 4 : 3;
    Picture picture;
    picture.width = uint32_t(delivered.result.width);
    picture.height = uint32_t(delivered.result.height);
    const uint32_t rowBytes = (picture.width * bytes + 3) & ~3u;
    for (uint32_t y = 0; y < picture.height; ++y) {  // bottom row first in the bitmap
        const uint8_t* row = &delivered.bytes[(picture.height - 1 - y) * rowBytes];
        for (uint32_t x = 0; x < picture.width; ++x) {
            picture.rgb.insert(picture.rgb.end(),
                               {row[x * bytes + 2], row[x * bytes + 1], row[x * bytes]});
        }
    }
    return picture;
}

std::vector<uint8_t> ReadSamplesDirectly(const std::string& path, uint32_t first, uint32_t count,
                                         const char* formatId) {
    const ReadingFile file(path);
    if (!file.opened()) {
        ADD_FAILURE() << "cannot open " << path;
        return {};
    }
    const bool wide = strcmp(formatId, FORMAT_ID_PCM16) == 0;
    std::vector<uint8_t> samples(size_t(count) * file.info().audioFormats[0].channels *
                                 (wide ? 2 : 1));
    AudioSamplesRequest request = SamplesRequest(first, count, formatId, samples);
    EXPECT_EQ(AVFILE_ReadAudioSamples(file.handle(), &request), 1);
    return samples;
}

}  // namespace zedadu::test
