// zedadu-host compressors [--json]: the installed video compressors, each with its code, name and
// what it takes (quality, key frames, data rate, options of its own, frame sizes, colour depths),
// as the compressor layer answers when asked.
#include <cstdio>

#include <CLI/CLI.hpp>

#include "host/cli/errors.h"
#include "host/cli/report.h"
#include "host/cli/text.h"
#include "host/commands/commands.h"
#include "host/hosting/compressor_list.h"

namespace zedadu::host {
namespace {

struct CompressorsOptions {
    bool json = false;
    bool decoders = false;
};

std::string YesNo(bool value) {
    return value ? "yes" : "-";
}

std::string SizesText(const CompressorAbilities& abilities) {
    if (abilities.anySize) {
        return "any";
    }
    std::string text;
    for (const FrameSize& size : abilities.sizes) {
        text += Text("%s%ix%i", text.empty() ? "" : " ", size.width, size.height);
    }
    return text.empty() ? "none" : text;
}

std::string DepthsText(const CompressorAbilities& abilities) {
    std::string text;
    for (const uint32_t depth : abilities.depths) {
        text += Text("%s%u", text.empty() ? "" : " ", depth);
    }
    return text.empty() ? "none" : text;
}

Json SizesJson(const CompressorAbilities& abilities) {
    Json sizes = Json::array();
    for (const FrameSize& size : abilities.sizes) {
        sizes.push_back(Text("%ix%i", size.width, size.height));
    }
    return sizes;
}

void PrintCompressors(bool json) {
    Table table(
        {"CODE", "NAME", "QUALITY", "KEY FRAMES", "DATA RATE", "OPTIONS", "DEPTHS", "FRAME SIZES"});
    for (const InstalledCompressor& compressor : InstalledCompressors()) {
        const CompressorAbilities abilities = ProbeCompressor(compressor);
        const std::string code = FourCCText(compressor.code);
        table.Row({code, compressor.name, YesNo(compressor.takesQuality()),
                   YesNo(compressor.takesKeyFrames()), YesNo(compressor.takesDataRate()),
                   YesNo(abilities.options), DepthsText(abilities), SizesText(abilities)},
                  {{"code", code},
                   {"name", compressor.name},
                   {"quality", compressor.takesQuality()},
                   {"keyFrames", compressor.takesKeyFrames()},
                   {"dataRate", compressor.takesDataRate()},
                   {"options", abilities.options},
                   {"depths", abilities.depths},
                   {"anySize", abilities.anySize},
                   {"sizes", SizesJson(abilities)}});
    }
    table.Print(json);
    if (!json) {
        printf(
            "\nconvert --compressor takes the code or the name; --quality 0 to 100, --keyframes "
            "and "
            "--data-rate (KB/s) apply where the compressor takes them.\n");
    }
}

void PrintDecoders(bool json) {
    Table table({"CODE", "NAME"});
    for (const InstalledCompressor& decoder : InstalledDecompressors()) {
        const std::string code = FourCCText(decoder.code);
        table.Row({code, decoder.name}, {{"code", code}, {"name", decoder.name}});
    }
    table.Print(json);
}

int RunCompressors(const CompressorsOptions& options) {
    if (options.decoders) {
        PrintDecoders(options.json);
        return kExitOk;
    }
    PrintCompressors(options.json);
    return kExitOk;
}

void AddCompressorsOptions(CLI::App& command, CompressorsOptions& options) {
    command.add_flag("--json", options.json, "print the list as JSON");
    command.add_flag("--decoders", options.decoders,
                     "list the drivers that decompress instead, one code for each codec");
}

}  // namespace

Command AddCompressorsCommand(CLI::App& command) {
    return Subcommand(command, AddCompressorsOptions, RunCompressors);
}

}  // namespace zedadu::host
