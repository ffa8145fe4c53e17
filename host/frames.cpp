// zedadu-host frames FILE --out DIR: frames as PNG pictures (RGB layouts) or raw YUY2 files.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include <CLI/CLI.hpp>

#include "host/answers.h"
#include "host/commands.h"
#include "host/errors.h"
#include "host/png_file.h"
#include "host/reading.h"
#include "host/report.h"
#include "host/text.h"

namespace zedadu::host {
namespace {

struct FramesOptions {
    std::string path;
    uint32_t from = 0;
    std::optional<uint32_t> count;
    std::string format = "rgb24";
    std::string size;
    std::string out;
    Answers answers;
};

// The file for one delivered frame: a PNG picture, or the YUY2 bytes as they came.
std::string SaveFrame(const DeliveredFrame& frame, uint32_t index, const std::string& directory) {
    const bool raw = FieldText(frame.result.formatId) == FORMAT_ID_YUY2;
    const std::string path =
        (std::filesystem::path(directory) / Text("frame-%06u.%s", index, raw ? "yuy2" : "png"))
            .string();
    if (raw) {
        std::ofstream file(path, std::ios::binary);
        file.write(reinterpret_cast<const char*>(frame.bytes.data()),
                   std::streamsize(frame.bytes.size()));
        if (!file.flush()) {
            throw HostError("cannot write " + path);
        }
        return path;
    }
    Image image;
    if (!FromBitmap(frame.result, frame.bytes.data(), frame.bytes.size(), image)) {
        throw HostError(Text("frame %u came as %s, which this host cannot picture", index,
                             LayoutLabel(frame.result.formatId).c_str()));
    }
    WritePng(path, image);
    return path;
}

uint32_t FrameCount(const FramesOptions& options, const ReadingFileInfo& info) {
    if (info.frameCount == 0) {
        throw HostError(options.path + " has no video");
    }
    if (options.from >= info.frameCount) {
        throw UsageError(Text("--from %u is past the last frame (%s has %u frames)", options.from,
                              options.path.c_str(), info.frameCount));
    }
    return std::min(options.count.value_or(info.frameCount), info.frameCount - options.from);
}

int RunFrames(const FramesOptions& options) {
    ApplyAnswers(options.answers);
    const Layout& layout = *FindImageLayout(options.format);
    const std::optional<FrameSize> size =
        options.size.empty() ? std::nullopt : ParseFrameSize(options.size);
    Plugin plugin;
    const ReadingFile file(plugin, options.path);
    const uint32_t count = FrameCount(options, file.info());
    if (!OffersLayout(file.info(), layout)) {
        fprintf(stderr,
                "zedadu-host: %s does not offer %s frames; the plug-in decides the layout\n",
                options.path.c_str(), layout.label);
    }
    std::filesystem::create_directories(options.out);
    ProgressBar progress("frames", count);
    DeliveredFrame last;
    for (uint32_t i = 0; i < count; ++i) {
        last = ReadFrame(file, options.from + i, layout, size);
        SaveFrame(last, options.from + i, options.out);
        progress.Update(i + 1);
    }
    if (size && (last.result.width != size->width || last.result.height != size->height)) {
        fprintf(stderr, "zedadu-host: the decompressor does not scale; frames come at %i x %i\n",
                last.result.width, last.result.height);
    }
    Section(
        Text("Frames %u to %u of %s", options.from, options.from + count - 1, options.path.c_str()))
        .Row("written", Text("%u file%s in %s", count, count == 1 ? "" : "s", options.out.c_str()))
        .Row("delivered",
             Text("%i x %i %s, %u bytes a frame", last.result.width, last.result.height,
                  LayoutLabel(last.result.formatId).c_str(), last.result.imageSize))
        .Print();
    return kExitOk;
}

}  // namespace

Command AddFramesCommand(CLI::App& application) {
    auto options = std::make_shared<FramesOptions>();
    CLI::App* command = application.add_subcommand(
        "frames", "Read frames through the plug-in: PNG pictures from RGB, raw files from YUY2.");
    command->add_option("FILE", options->path, "the AVI file")->required();
    command->add_option("--from", options->from, "first frame, from 0")->capture_default_str();
    command->add_option("--count", options->count, "number of frames (default: to the end)")
        ->check(CLI::PositiveNumber);
    command->add_option("--format", options->format, "layout asked of the plug-in")
        ->check(CLI::IsMember({"rgb32", "rgb24", "yuy2"}, CLI::ignore_case))
        ->capture_default_str();
    command->add_option("--size", options->size, "frame size asked of the plug-in")
        ->type_name("WxH")
        ->check(CLI::Validator(
            [](std::string& text) {
                return ParseFrameSize(text) ? std::string() : "expected WIDTHxHEIGHT, e.g. 360x240";
            },
            "WxH"));
    command->add_option("--out", options->out, "directory for the files (created)")->required();
    AddAnswerOptions(*command, options->answers);
    return {command, [options] { return RunFrames(*options); }};
}

}  // namespace zedadu::host
