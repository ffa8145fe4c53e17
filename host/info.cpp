// zedadu-host info FILE [--json]: what the plug-in reports about a file.
#include <cstdio>
#include <memory>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "host/answers.h"
#include "host/commands.h"
#include "host/errors.h"
#include "host/file_report.h"
#include "host/formats.h"
#include "host/reading.h"
#include "host/text.h"

namespace zedadu::host {
namespace {

using Json = nlohmann::ordered_json;

struct InfoOptions {
    std::string path;
    bool json = false;
    Answers answers;
};

std::string LayoutName(const char* formatId) {
    const Layout* layout = FindImageLayout(formatId);
    layout = layout ? layout : FindAudioLayout(formatId);
    return layout ? layout->name : formatId;
}

Json VideoJson(const ReadingFileInfo& info) {
    const auto video = NativeVideo(info);
    if (!video) {
        return nullptr;
    }
    Json layouts = Json::array();
    for (uint32_t i = 0; i < info.videoFormatCount; ++i) {
        const ImageFormatStruct& format = info.videoFormats[i];
        layouts.push_back({{"layout", LayoutName(format.formatId)},
                           {"formatId", FieldText(format.formatId)},
                           {"imageSize", format.imageSize},
                           {"flags", format.flags}});
    }
    return {{"frames", info.frameCount},
            {"rate", video->rate},
            {"scale", video->scale},
            {"seconds", VideoSeconds(info)},
            {"width", video->width},
            {"height", video->height},
            {"description", FieldText(video->description)},
            {"layouts", layouts}};
}

Json AudioJson(const ReadingFileInfo& info) {
    const auto audio = NativeAudio(info);
    if (!audio) {
        return nullptr;
    }
    Json layouts = Json::array();
    for (uint32_t i = 0; i < info.audioFormatCount; ++i) {
        const AudioFormatRecord& format = info.audioFormats[i];
        layouts.push_back({{"layout", LayoutName(format.formatId)},
                           {"formatId", FieldText(format.formatId)},
                           {"frameBytes", format.frameBytes}});
    }
    return {{"sampleFrames", info.audioLength},
            {"sampleRate", audio->sampleRate},
            {"channels", audio->channels},
            {"seconds", AudioSeconds(info)},
            {"description", FieldText(audio->description)},
            {"layouts", layouts}};
}

void PrintJson(const ReadingFile& file) {
    const ReadingFileInfo& info = file.info();
    const Json report = {
        {"path", info.path ? std::string(info.path) : file.path()},
        {"modified", FileTimeText(info.lastWriteTime)},
        {"dv", (info.infoFlags & 8) != 0},
        {"video", VideoJson(info)},
        {"audio", AudioJson(info)},
    };
    printf("%s\n", report.dump(2).c_str());
}

int RunInfo(const InfoOptions& options) {
    ApplyAnswers(options.answers);
    Plugin plugin;
    const ReadingFile file(plugin, options.path);
    if (options.json) {
        PrintJson(file);
        return kExitOk;
    }
    Section section(file.info().path ? file.info().path : file.path());
    DescribeFile(section, file.info());
    section.Print();
    return kExitOk;
}

}  // namespace

Command AddInfoCommand(CLI::App& application) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* command = application.add_subcommand(
        "info", "What the plug-in reports about an AVI file: frames, rate, size, formats, audio.");
    command->add_option("FILE", options->path, "the AVI file")->required();
    command->add_flag("--json", options->json, "print the report as JSON");
    AddAnswerOptions(*command, options->answers);
    return {command, [options] { return RunInfo(*options); }};
}

}  // namespace zedadu::host
