// zedadu-host compressors [--json]: the installed video compressors, each with its code, name and
// what it takes (quality, key frames, data rate, options of its own, frame sizes, colour depths),
// as the compressor layer answers when asked.
#include <cstdio>
#include <memory>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "host/cli/errors.h"
#include "host/cli/text.h"
#include "host/commands/commands.h"
#include "host/hosting/compressor_list.h"

namespace zedadu::host {
namespace {

using Json = nlohmann::ordered_json;

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

void PrintTable(const std::vector<InstalledCompressor>& compressors) {
    size_t nameWidth = 4;
    for (const InstalledCompressor& compressor : compressors) {
        nameWidth = std::max(nameWidth, compressor.name.size());
    }
    printf("%-4s  %-*s  %-7s  %-10s  %-9s  %-7s  %-8s  %s\n", "CODE", int(nameWidth), "NAME",
           "QUALITY", "KEY FRAMES", "DATA RATE", "OPTIONS", "DEPTHS", "FRAME SIZES");
    for (const InstalledCompressor& compressor : compressors) {
        const CompressorAbilities abilities = ProbeCompressor(compressor);
        printf("%-4s  %-*s  %-7s  %-10s  %-9s  %-7s  %-8s  %s\n",
               FourCCText(compressor.code).c_str(), int(nameWidth), compressor.name.c_str(),
               YesNo(compressor.takesQuality()).c_str(), YesNo(compressor.takesKeyFrames()).c_str(),
               YesNo(compressor.takesDataRate()).c_str(), YesNo(abilities.options).c_str(),
               DepthsText(abilities).c_str(), SizesText(abilities).c_str());
    }
    printf(
        "\nconvert --compressor takes the code or the name; --quality 0 to 100, --keyframes and "
        "--data-rate (KB/s) apply where the compressor takes them.\n");
}

void PrintJson(const std::vector<InstalledCompressor>& compressors) {
    Json list = Json::array();
    for (const InstalledCompressor& compressor : compressors) {
        const CompressorAbilities abilities = ProbeCompressor(compressor);
        Json sizes = Json::array();
        for (const FrameSize& size : abilities.sizes) {
            sizes.push_back(Text("%ix%i", size.width, size.height));
        }
        list.push_back({{"code", FourCCText(compressor.code)},
                        {"name", compressor.name},
                        {"quality", compressor.takesQuality()},
                        {"keyFrames", compressor.takesKeyFrames()},
                        {"dataRate", compressor.takesDataRate()},
                        {"options", abilities.options},
                        {"depths", abilities.depths},
                        {"anySize", abilities.anySize},
                        {"sizes", sizes}});
    }
    printf("%s\n", list.dump(2).c_str());
}

void PrintDecoders(bool json) {
    Json list = Json::array();
    for (const InstalledCompressor& decoder : InstalledDecompressors()) {
        if (json) {
            list.push_back({{"code", FourCCText(decoder.code)}, {"name", decoder.name}});
        } else {
            printf("%-4s  %s\n", FourCCText(decoder.code).c_str(), decoder.name.c_str());
        }
    }
    if (json) {
        printf("%s\n", list.dump(2).c_str());
    }
}

int RunCompressors(const CompressorsOptions& options) {
    if (options.decoders) {
        PrintDecoders(options.json);
        return kExitOk;
    }
    const std::vector<InstalledCompressor> compressors = InstalledCompressors();
    if (options.json) {
        PrintJson(compressors);
    } else {
        PrintTable(compressors);
    }
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
