#include "host/commands/conversion_choices.h"

#include <strings.h>

#include <CLI/CLI.hpp>

#include "avi/ids.h"
#include "host/cli/errors.h"
#include "host/cli/text.h"
#include "host/hosting/compressor_list.h"
#include "host/media/layouts.h"

namespace zedadu::host {
namespace {

constexpr uint32_t kQualityUnit = 100;  // the block holds hundredths of a percent
constexpr uint64_t kMostKeyFrameInterval = 100000;
constexpr uint64_t kFastestDataRate = 1000000;
constexpr uint64_t kLargestPadding = 1 << 20;
constexpr uint32_t kSmallestPadding = 8;

const Layout& ImageLayoutOfDepth(uint32_t depth) {
    return *FindImageLayout(depth == 32 ? "rgb32" : depth == 16 ? "rgb16" : "rgb24");
}

uint32_t DepthOf(const ImageFormatStruct& video) {
    const Layout* layout = FindImageLayout(FieldText(video.formatId));
    return layout ? layout->bytes * 8 : 24;
}

std::string CompressorCodes(const std::vector<InstalledCompressor>& compressors) {
    std::string codes;
    for (const InstalledCompressor& compressor : compressors) {
        const std::string code = FourCCText(compressor.code);
        codes += (codes.empty() ? "" : ", ") + code.substr(0, code.find_last_not_of(' ') + 1);
    }
    return codes;
}

InstalledCompressor ChosenCompressor(const ConversionChoices& choices,
                                     const CompressionSettings& compression) {
    if (!choices.compressor) {
        if (auto current = CompressorOf(compression.fccHandler)) {
            return *current;
        }
        throw UsageError(Text("the compressor %s of the settings is not installed here",
                              FourCCText(compression.fccHandler).c_str()));
    }
    const std::vector<InstalledCompressor> compressors = InstalledCompressors();
    if (const InstalledCompressor* found = FindCompressor(compressors, *choices.compressor)) {
        return *found;
    }
    throw UsageError(
        Text("--compressor \"%s\" names no installed compressor; the codes are %s "
             "(zedadu-host compressors describes them)",
             choices.compressor->c_str(), CompressorCodes(compressors).c_str()));
}

// A setting the compressor does not take would silently do nothing: it is refused instead, naming
// the compressors that take it.
using Ability = bool (InstalledCompressor::*)() const;
void RefuseUnless(Ability takes, const char* option, const InstalledCompressor& compressor) {
    if ((compressor.*takes)()) {
        return;
    }
    std::vector<InstalledCompressor> takers = InstalledCompressors();
    std::erase_if(takers, [&](const InstalledCompressor& other) { return !(other.*takes)(); });
    throw UsageError(Text("%s does not apply to %s, which takes no such setting; %s", option,
                          compressor.label().c_str(),
                          takers.empty() ? "no compressor here takes it"
                                         : ("it applies to " + CompressorCodes(takers)).c_str()));
}

void ApplyCompression(const ConversionChoices& choices, CompressionSettings& compression) {
    const InstalledCompressor compressor = ChosenCompressor(choices, compression);
    if (choices.compressor) {
        compression.fccHandler = compressor.code;
        SetFieldText(compression.compressorName, compressor.name);
        compression.stateSize = 0;
    }
    if (choices.quality) {
        RefuseUnless(&InstalledCompressor::takesQuality, "--quality", compressor);
        compression.quality = *choices.quality * kQualityUnit;
    }
    if (choices.keyFrames) {
        RefuseUnless(&InstalledCompressor::takesKeyFrames, "--keyframes", compressor);
        // The plug-in forces a key frame at least every interval and takes 0 as 1; the longest
        // interval leaves every key frame but the first to the compressor.
        compression.keyFrameRate =
            *choices.keyFrames == 0 ? kCompressorPlacesKeyFrames : *choices.keyFrames;
    }
    if (choices.dataRate) {
        RefuseUnless(&InstalledCompressor::takesDataRate, "--data-rate", compressor);
        compression.dataRate = *choices.dataRate;
    }
    compression.paddingSize = choices.padding.value_or(compression.paddingSize);
    if (choices.audioLead) {
        compression.offsetAudioAndVideo = *choices.audioLead ? 1 : 0;
    }
}

void ApplyVideo(const ConversionChoices& choices, ImageFormatStruct& video) {
    const FrameSize size = choices.size.value_or(FrameSize{video.width, video.height});
    const FrameRateValue rate = choices.rate.value_or(FrameRateValue{video.rate, video.scale});
    const uint32_t flags = video.flags;
    video = ImageFormat(ImageLayoutOfDepth(choices.depth.value_or(DepthOf(video))), size.width,
                        size.height, rate.rate, rate.scale);
    video.flags = flags;
}

void ApplyAudio(const ConversionChoices& choices, AudioFormatRecord& audio) {
    if (!choices.audio) {
        return;
    }
    const Layout* layout = FindAudioLayout(FieldText(audio.formatId));
    const uint32_t bits = choices.audio->bits.value_or(layout ? layout->bytes * 8 : 16);
    audio =
        AudioFormat(*FindAudioLayout(bits == 8 ? "pcm8" : "pcm16"),
                    choices.audio->channels.value_or(audio.channels), choices.audio->sampleRate);
}

// The bytes of the audio slot the plug-in reserves beside each frame: a little more than a frame's
// worth of audio and a chunk header, even; none without audio.
uint64_t AudioSlotBytes(const ImageFormatStruct& video, const AudioFormatRecord* audio) {
    if (!audio || audio->sampleRate == 0) {
        return 0;
    }
    const int64_t slotsPerSecond = std::max<int64_t>(int64_t(video.rate / video.scale) - 1, 1);
    const uint64_t bytes = audio->sampleRate / uint64_t(slotsPerSecond) * audio->frameBytes + 56;
    return bytes & ~uint64_t(1);
}

}  // namespace

void AddConversionOptions(CLI::App& command, ConversionOptionTexts& texts) {
    command
        .add_option("--compressor,-c", texts.compressor,
                    "the compressor, by code or name (zedadu-host compressors lists them)")
        ->type_name("CODE|NAME");
    command.add_option("--quality", texts.quality, "compression quality, 0 to 100")
        ->type_name("0-100");
    command
        .add_option("--keyframes", texts.keyFrames,
                    "a key frame every N frames (0: where the compressor puts them)")
        ->type_name("N");
    command
        .add_option("--data-rate", texts.dataRate,
                    "the most video data a second, in KB/s as the dialog shows it (0: no limit)")
        ->type_name("KBPS");
    command.add_option("--size,-s", texts.size, "frame size of the output")->type_name("WxH");
    command.add_option("--rate,-r", texts.rate, "frames per second of the output: 25, 30000/1001")
        ->type_name("N[/D]");
    command.add_option("--depth", texts.depth, "colour depth handed to the compressor: 16, 24, 32")
        ->type_name("BITS");
    command.add_option("--padding", texts.padding, "records padded to this many bytes (0: none)")
        ->type_name("BYTES");
    CLI::Option* lead = command.add_flag("--audio-lead", texts.audioLead,
                                         "audio leads video by 0.75 s in the file");
    command.add_flag("--no-audio-lead", texts.noAudioLead, "audio and video start together")
        ->excludes(lead);
    command
        .add_option("--audio", texts.audio,
                    "audio of the output: rate in Hz, channels, bits, e.g. 48000:2:16 "
                    "(converted with libswresample)")
        ->type_name("RATE[:CH[:BITS]]");
}

ConversionChoices ParseChoices(const ConversionOptionTexts& texts) {
    ConversionChoices choices;
    choices.compressor = texts.compressor;
    const auto whole = [](const char* option, const std::optional<std::string>& text,
                          uint64_t least, uint64_t most) {
        const auto value = ParseWhole(option, text, least, most);
        return value ? std::optional<uint32_t>(uint32_t(*value)) : std::nullopt;
    };
    choices.quality = whole("--quality", texts.quality, 0, 100);
    choices.keyFrames = whole("--keyframes", texts.keyFrames, 0, kMostKeyFrameInterval);
    choices.dataRate = whole("--data-rate", texts.dataRate, 0, kFastestDataRate);
    choices.padding = whole("--padding", texts.padding, 0, kLargestPadding);
    if (choices.padding && *choices.padding > 0 && *choices.padding < kSmallestPadding) {
        throw UsageError(
            Text("--padding takes 0 (none) or %u to %llu bytes: a record is not "
                 "padded to less than a chunk header, not \"%s\"",
                 kSmallestPadding, static_cast<unsigned long long>(kLargestPadding),
                 texts.padding->c_str()));
    }
    if (texts.depth && *texts.depth != "16" && *texts.depth != "24" && *texts.depth != "32") {
        throw UsageError("--depth takes 16, 24 or 32, not \"" + *texts.depth + "\"");
    }
    choices.depth = whole("--depth", texts.depth, 16, 32);
    if (texts.size) {
        choices.size = ParseSize("--size", *texts.size);
    }
    if (texts.rate) {
        choices.rate = ParseFrameRate("--rate", *texts.rate);
    }
    if (texts.audio) {
        choices.audio = ParseAudio("--audio", *texts.audio);
    }
    if (texts.audioLead || texts.noAudioLead) {
        choices.audioLead = texts.audioLead;
    }
    return choices;
}

void ApplyChoices(const ConversionChoices& choices, HostFormats& formats) {
    ApplyCompression(choices, formats.compression);
    ApplyVideo(choices, formats.video);
    ApplyAudio(choices, formats.audio);
}

// DV is two formats only: 720 x 480 at 30000/1001 frames a second and 720 x 576 at 25.
void CheckDvFormat(const ImageFormatStruct& video, const CompressionSettings& compression) {
    if (strcasecmp(FourCCText(compression.fccHandler).c_str(), "dvsd") != 0) {
        return;
    }
    const bool ntsc = video.width == 720 && video.height == 480 &&
                      uint64_t(video.rate) * 1001 == uint64_t(video.scale) * 30000;
    const bool pal = video.width == 720 && video.height == 576 &&
                     uint64_t(video.rate) == uint64_t(video.scale) * 25;
    if (!ntsc && !pal) {
        throw UsageError(
            Text("DV (dvsd) takes 720x480 at 30000/1001 frames a second or 720x576 at "
                 "25, not %i x %i at %u/%u",
                 video.width, video.height, video.rate, video.scale));
    }
}

void CheckCompressorTakes(const ImageFormatStruct& video, const CompressionSettings& compression) {
    const auto compressor = CompressorOf(compression.fccHandler);
    if (!compressor) {
        throw UsageError(Text("the compressor %s is not installed here",
                              FourCCText(compression.fccHandler).c_str()));
    }
    const FrameSize size{video.width, video.height};
    const uint32_t depth = DepthOf(video);
    if (TakesFrames(*compressor, size, depth)) {
        CheckDvFormat(video, compression);
        return;
    }
    if (depth != 24 && TakesFrames(*compressor, size, 24)) {
        throw UsageError(Text("%s does not take %u-bit frames; --depth 24 works",
                              compressor->label().c_str(), depth));
    }
    throw UsageError(Text("%s does not take %i x %i frames; of the usual sizes it takes %s",
                          compressor->label().c_str(), size.width, size.height,
                          UsualSizesTaken(*compressor, depth).c_str()));
}

// What the plug-in takes from every second of a data rate before the frames get any: the audio
// slot of each frame and the filler that pads its record. A data rate below that the plug-in
// drops after asking whether to write without a limit; it is refused before anything is written.
void CheckDataRateCarriesTheRecords(const ImageFormatStruct& video, const AudioFormatRecord* audio,
                                    const CompressionSettings& compression) {
    if (compression.dataRate == 0 || compression.fccHandler == avi::kUncompressedHandler ||
        video.scale == 0) {
        return;
    }
    const double framesPerSecond = double(video.rate) / double(video.scale);
    const auto overhead =
        uint64_t(framesPerSecond * double(AudioSlotBytes(video, audio) + compression.paddingSize));
    if (uint64_t(compression.dataRate) * 1024 >= overhead) {
        return;
    }
    throw UsageError(
        Text("a data rate of %u KB/s cannot carry the audio and padding of every frame (%llu "
             "bytes a second at these settings), and the plug-in would write without a limit: "
             "--data-rate takes %llu or more here, or 0 for no limit",
             compression.dataRate, static_cast<unsigned long long>(overhead),
             static_cast<unsigned long long>((overhead + 1023) / 1024)));
}

}  // namespace zedadu::host
