// zedadu-host freetime [DIR]: how much fits on the drive of DIR with the saved writing settings.
#include <cstdio>
#include <filesystem>

#include <CLI/CLI.hpp>

#include "host/cli/answers.h"
#include "host/cli/errors.h"
#include "host/cli/text.h"
#include "host/commands/commands.h"
#include "host/hosting/request_formats.h"
#include "platform/hostlib/host_api.h"

namespace zedadu::host {
namespace {

// The host library measures the recording directory when the request's second drive word is 1.
constexpr uint32_t kRecordingDirectoryDrive = 1;

struct FreeTimeOptions {
    std::string directory = ".";
    Answers answers;
};

struct FreeTime {
    uint64_t freeBytes;
    uint32_t videoFrames;
    uint32_t audioSamples;
};

FreeTime AskFreeTime(const Plugin& plugin, const WritingSettings& settings) {
    ImageFormatStruct video = settings.video();
    AudioFormatRecord audio = settings.audio();
    FreeTimeRequest request{};
    request.size = sizeof request;
    request.driveWord2 = kRecordingDirectoryDrive;
    request.video = &video;
    request.audio = &audio;
    if (plugin.call().GetFreeTimeOnDrive(&request) != 1) {
        throw HostError("the plug-in refused the free-time request");
    }
    return {GetBytesOnDrive(&request), request.videoFrames, request.audioSamples};
}

int RunFreeTime(const FreeTimeOptions& options) {
    if (!std::filesystem::is_directory(options.directory)) {
        throw UsageError(options.directory + " is not a directory");
    }
    ZedaduHost_SetRecordingDirectory(options.directory.c_str());
    Plugin plugin;
    WritingSettings settings(plugin);
    RunSettings(settings, kSettingsLoadIni | kSettingsAudio | kSettingsVideo, DefaultFormats());
    const FreeTime time = AskFreeTime(plugin, settings);
    const ImageFormatStruct& video = settings.video();
    const AudioFormatRecord& audio = settings.audio();
    const double fps = video.scale ? double(video.rate) / video.scale : 0.0;
    Section section(Text("Recording time on the drive of %s", options.directory.c_str()));
    section.Row("free space", ByteCount(time.freeBytes));
    section.Row("video frames", Text("%u (%s at %s)", time.videoFrames,
                                     Duration(fps > 0 ? time.videoFrames / fps : 0.0).c_str(),
                                     FrameRate(video.rate, video.scale).c_str()));
    section.Row(
        "sample frames",
        Text(
            "%u (%s at %u Hz)", time.audioSamples,
            Duration(audio.sampleRate ? double(time.audioSamples) / audio.sampleRate : 0.0).c_str(),
            audio.sampleRate));
    section.Print();
    Section used("With the saved writing settings");
    DescribeSettings(used, settings);
    used.Print();
    return kExitOk;
}

void AddFreeTimeOptions(CLI::App& command, FreeTimeOptions& options) {
    command.add_option("DIR", options.directory, "a directory on the drive (default: here)");
}

}  // namespace

Command AddFreeTimeCommand(CLI::App& command) {
    return Subcommand(command, AddFreeTimeOptions, RunFreeTime);
}

}  // namespace zedadu::host
