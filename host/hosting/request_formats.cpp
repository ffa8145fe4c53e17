#include "host/hosting/request_formats.h"

#include "core/settings_ini.h"
#include "host/cli/errors.h"
#include "host/cli/text.h"
#include "host/hosting/compressor_list.h"
#include "host/media/layouts.h"

namespace zedadu::host {
namespace {

std::string DescribeAudio(const AudioFormatRecord& audio) {
    const Layout* layout = FindAudioLayout(FieldText(audio.formatId));
    return AudioText(audio.sampleRate, layout ? layout->bytes * 8 : 0, audio.channels);
}

// Quality as the dialog shows it: 0 to 100.
std::string DescribeQuality(const CompressionSettings& compression,
                            const InstalledCompressor& compressor) {
    if (!compressor.takesQuality()) {
        return "not used by " + FourCCText(compression.fccHandler);
    }
    return Text("%u of 100", compression.quality / 100);
}

std::string DescribeKeyFrames(const CompressionSettings& compression,
                              const InstalledCompressor& compressor) {
    if (!compressor.takesKeyFrames()) {
        return "every frame (each frame is coded alone)";
    }
    switch (compression.keyFrameRate) {
        case kCompressorPlacesKeyFrames:
            return "the first frame, then where the compressor puts them";
        case 0:
        case 1:
            return "every frame";
        default:
            return Text("every %u frames", compression.keyFrameRate);
    }
}

std::string DescribeDataRate(const CompressionSettings& compression,
                             const InstalledCompressor& compressor) {
    if (!compressor.takesDataRate()) {
        return "no limit (" + FourCCText(compression.fccHandler) + " takes none)";
    }
    return compression.dataRate ? Text("at most %u KB/s", compression.dataRate)
                                : std::string("no limit");
}

void DescribeCompression(Section& section, const CompressionSettings& compression) {
    const auto compressor = CompressorOf(compression.fccHandler);
    if (!compressor) {
        section.Row("compressor", FourCCText(compression.fccHandler) + " (not installed here)");
    } else if (compressor->uncompressed()) {
        section.Row("compressor", "none (uncompressed frames)");
    } else {
        section.Row("compressor", compressor->label());
        section.Row("quality", DescribeQuality(compression, *compressor));
        section.Row("key frames", DescribeKeyFrames(compression, *compressor));
        section.Row("data rate", DescribeDataRate(compression, *compressor));
    }
    section.Row("records", compression.paddingSize
                               ? "padded to " + Counted(compression.paddingSize, "byte")
                               : std::string("not padded"));
    section.Row("audio lead", compression.offsetAudioAndVideo
                                  ? "audio leads video by 0.75 s"
                                  : "none (audio and video start together)");
}

}  // namespace

ImageFormatStruct HostFormats::Video() const {
    ImageFormatStruct withBlock = video;
    withBlock.settingsBlock = const_cast<CompressionSettings*>(&compression);
    withBlock.settingsBlockSize = kCompressionSettingsHeaderSize;
    return withBlock;
}

HostFormats DefaultFormats() {
    HostFormats formats;
    formats.video = ImageFormat(*FindImageLayout("rgb24"), 720, 480, 30000, 1001);
    formats.audio = AudioFormat(*FindAudioLayout("pcm16"), 2, 44100);
    CompressionSettings& compression = formats.compression;
    compression.headerSize = kCompressionSettingsHeaderSize;
    compression.fccHandler = FourCC("MSVC");
    compression.quality = settings::kQuality.fallback;
    compression.paddingSize = settings::kPaddingSize.fallback;
    compression.keyFrameRate = 15;
    compression.offsetAudioAndVideo = 1;
    return formats;
}

void RunSettings(WritingSettings& settings, uint32_t request, const HostFormats& formats) {
    if (!settings.Run(request, formats.Video(), formats.audio)) {
        throw HostError(Text("the plug-in refused the writing settings (request 0x%X)", request));
    }
}

void DescribeSettings(Section& section, const WritingSettings& settings, bool withAudio) {
    const ImageFormatStruct& video = settings.video();
    section.Row("video", Text("%i x %i %s, %s (%u/%u)", video.width, video.height,
                              LayoutLabel(video.formatId).c_str(),
                              FrameRate(video.rate, video.scale).c_str(), video.rate, video.scale));
    if (const CompressionSettings* compression = settings.compression()) {
        DescribeCompression(section, *compression);
    }
    section.Row("audio", withAudio ? DescribeAudio(settings.audio()) : std::string("none"));
}

}  // namespace zedadu::host
