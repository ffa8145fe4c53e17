// zedadu-host frames FILE --out DIR: frames as PNG pictures (RGB layouts) or raw YUY2 files.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <CLI/CLI.hpp>

#include "host/cli/answers.h"
#include "host/cli/errors.h"
#include "host/cli/output_files.h"
#include "host/cli/report.h"
#include "host/cli/text.h"
#include "host/cli/time_range.h"
#include "host/commands/commands.h"
#include "host/commands/option_values.h"
#include "host/hosting/reading.h"
#include "host/media/png_file.h"
#include "host/walks/path_checks.h"

namespace zedadu::host {
namespace {

constexpr uint64_t kMostFrames = 0xFFFFFFFF;

struct FramesOptions {
    std::string path;
    std::string from = "0";
    std::optional<std::string> count;
    TimeRangeTexts range;
    std::string format = "rgb24";
    std::optional<std::string> size;
    std::string out;
    Answers answers;
};

struct FramesRequest {
    const Layout* layout;
    std::optional<FrameSize> size;
    uint32_t from;
    uint32_t count;
};

bool IsRaw(const Layout& layout) {
    return std::string(layout.formatId) == FORMAT_ID_YUY2;
}

std::string FramePath(const std::string& directory, uint32_t index, const Layout& layout) {
    return (std::filesystem::path(directory) /
            Text("frame-%06u.%s", index, IsRaw(layout) ? "yuy2" : "png"))
        .string();
}

// A delivered frame into its file: YUY2 bytes as they came, RGB as a picture at the size asked
// for (resized by the host where the plug-in delivered another). Returns the size written.
FrameSize SaveFrame(const DeliveredFrame& frame, const FramesRequest& request,
                    const std::string& path) {
    StagedFile file(path);
    FrameSize written{frame.result.width, frame.result.height};
    if (FieldText(frame.result.formatId) == FORMAT_ID_YUY2) {
        std::ofstream out(file.path(), std::ios::binary);
        out.write(reinterpret_cast<const char*>(frame.bytes.data()),
                  std::streamsize(frame.bytes.size()));
        if (!out.flush()) {
            throw HostError("cannot write " + path);
        }
    } else {
        Image image;
        if (!FromBitmap(frame.result, frame.bytes.data(), frame.bytes.size(), image)) {
            throw HostError(Text("a frame came as %s, which this host cannot picture",
                                 LayoutLabel(frame.result.formatId).c_str()));
        }
        if (request.size &&
            (image.width != request.size->width || image.height != request.size->height)) {
            image = Resized(image, request.size->width, request.size->height);
            written = *request.size;
        }
        WritePng(file.path(), image);
    }
    file.Commit();
    return written;
}

FramesRequest ParseRequest(const FramesOptions& options, const ReadingFile& file) {
    const Layout* layout = FindImageLayout(options.format);
    if (!layout || (layout->bytes == 2 && !IsRaw(*layout))) {
        throw UsageError(
            Text("--format takes rgb24, rgb32 or yuy2, not \"%s\"", options.format.c_str()));
    }
    FramesRequest request{layout, std::nullopt, 0, 0};
    if (options.size) {
        request.size = ParseSize("--size", *options.size);
    }
    const uint32_t frames = file.info().frameCount;
    const auto native = NativeVideo(file.info());
    if (frames == 0 || !native) {
        throw HostError(options.path + " has no video");
    }
    if (const auto range = ParseTimeRange(options.range)) {
        const UnitSpan span = UnitsInRange(*range, native->rate, native->scale, frames, "frame");
        request.from = uint32_t(span.first);
        request.count = uint32_t(span.count);
    } else {
        request.from = uint32_t(ParseWhole("--from", options.from, 0, kMostFrames));
        const uint64_t count =
            ParseWhole("--count", options.count, 1, kMostFrames).value_or(kMostFrames);
        if (request.from >= frames) {
            throw UsageError(Text("--from %u is past the last frame (%s has %s)", request.from,
                                  options.path.c_str(), Counted(frames, "frame").c_str()));
        }
        request.count = uint32_t(std::min<uint64_t>(count, frames - request.from));
    }
    if (!OffersLayout(file.info(), *layout)) {
        throw UsageError(Text("%s does not offer its frames as %s; --format %s reads them",
                              options.path.c_str(), layout->label,
                              OfferedImageLayouts(file.info()).c_str()));
    }
    return request;
}

// Of the frames to write, the names the user must agree to replace.
void PrepareOutputs(const FramesOptions& options, const FramesRequest& request) {
    CheckWritableDirectory(options.out, true);
    std::vector<std::string> paths;
    for (uint32_t i = 0; i < request.count; ++i) {
        paths.push_back(FramePath(options.out, request.from + i, *request.layout));
    }
    std::vector<std::string> existing = ExistingFiles(paths);
    for (const std::string& path : existing) {
        RefuseToWriteOverInputs(path, {options.path});
    }
    ConfirmReplacingFiles(existing);
}

// What came and what was written, saying why the sizes differ from the one asked for.
std::string DeliveredText(const DeliveredFrame& frame, const FramesRequest& request,
                          const ReadingFileInfo& info) {
    const std::string delivered =
        Text("%i x %i %s, %s a frame", frame.result.width, frame.result.height,
             LayoutLabel(frame.result.formatId).c_str(), ByteCount(frame.result.imageSize).c_str());
    if (!request.size || (frame.result.width == request.size->width &&
                          frame.result.height == request.size->height)) {
        return delivered;
    }
    const auto native = NativeVideo(info);
    const bool ownSize =
        native && native->width == frame.result.width && native->height == frame.result.height;
    return delivered + (ownSize ? " (the file's own size: the plug-in does not scale these frames)"
                                : Text(" (the decompressor grows %i x %i to the picture's shape)",
                                       request.size->width, request.size->height));
}

int RunFrames(const FramesOptions& options) {
    Plugin plugin;
    const ReadingFile file(plugin, options.path);
    const FramesRequest request = ParseRequest(options, file);
    PrepareOutputs(options, request);
    ProgressBar progress("frames", request.count);
    DeliveredFrame last;
    FrameSize written{};
    for (uint32_t i = 0; i < request.count; ++i) {
        const uint32_t index = request.from + i;
        last = ReadFrame(file, index, *request.layout, request.size);
        written = SaveFrame(last, request, FramePath(options.out, index, *request.layout));
        progress.Update(i + 1);
    }
    const bool resized = written.width != last.result.width || written.height != last.result.height;
    Section(Text("Frames %u to %u of %s", request.from, request.from + request.count - 1,
                 options.path.c_str()))
        .Row("delivered", DeliveredText(last, request, file.info()))
        .Row("written",
             Text("%s of %i x %i in %s%s",
                  Counted(request.count, IsRaw(*request.layout) ? "raw file" : "picture").c_str(),
                  written.width, written.height, options.out.c_str(),
                  resized ? " (resized by the host)" : ""))
        .Print();
    return kExitOk;
}

void AddFramesOptions(CLI::App& command, FramesOptions& options) {
    command.add_option("FILE", options.path, "the AVI file")->required();
    CLI::Option* from = command.add_option("--from", options.from, "first frame, from 0")
                            ->type_name("N")
                            ->capture_default_str();
    CLI::Option* count =
        command.add_option("--count", options.count, "number of frames (default: to the end)")
            ->type_name("N");
    AddTimeRangeOptions(command, options.range, from, count);
    command
        .add_option("--format", options.format,
                    "layout asked of the plug-in: rgb24, rgb32 or yuy2 (raw files)")
        ->type_name("LAYOUT")
        ->capture_default_str();
    command
        .add_option("--size", options.size,
                    "frame size of the pictures; the plug-in scales where its decompressor "
                    "can, the host resizes what comes at another size")
        ->type_name("WxH");
    command.add_option("--out", options.out, "folder for the files (created)")->required();
}

}  // namespace

Command AddFramesCommand(CLI::App& command) {
    return Subcommand(command, AddFramesOptions, RunFrames);
}

}  // namespace zedadu::host
