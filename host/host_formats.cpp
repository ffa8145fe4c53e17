#include "host/host_formats.h"

#include "host/errors.h"
#include "host/formats.h"
#include "host/text.h"

namespace zedadu::host {
namespace {

std::string DescribeAudio(const AudioFormatRecord& audio) {
    const Layout* layout = FindAudioLayout(FieldText(audio.formatId));
    const char* channels = audio.channels == 1 ? "mono" : audio.channels == 2 ? "stereo" : nullptr;
    return Text("%u Hz, %s, %s", audio.sampleRate, layout ? layout->label : "unknown layout",
                channels ? channels : Text("%u channels", audio.channels).c_str());
}

std::string DescribeCompressor(const CompressionSettings& compression) {
    const std::string handler = FourCCText(compression.fccHandler);
    if (handler == "DIB ") {
        return "DIB (uncompressed)";
    }
    const std::string name = FieldText(compression.compressorName);
    return Text("%s%s%s, quality %u of 10000", handler.c_str(), name.empty() ? "" : " - ",
                name.c_str(), compression.quality);
}

std::string DescribeKeyFrames(const CompressionSettings& compression) {
    if (FourCCText(compression.fccHandler) == "DIB ") {
        return "every frame (uncompressed)";
    }
    switch (compression.keyFrameRate) {
        case 0:
            return "the first frame, then where the compressor puts them";
        case 1:
            return "every frame";
        default:
            return Text("every %u frames", compression.keyFrameRate);
    }
}

std::string DescribeDataRate(const CompressionSettings& compression) {
    return compression.dataRate ? Text("at most %u kB/s", compression.dataRate)
                                : std::string("no limit");
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
    compression.quality = 7500;
    compression.paddingSize = 512;
    compression.keyFrameRate = 15;
    compression.offsetAudioAndVideo = 1;
    return formats;
}

void RunSettings(WritingSettings& settings, uint32_t request, const HostFormats& formats) {
    if (!settings.Run(request, formats.Video(), formats.audio)) {
        throw HostError(Text("the plug-in refused the writing settings (request 0x%X)", request));
    }
}

void DescribeSettings(Section& section, const WritingSettings& settings) {
    const ImageFormatStruct& video = settings.video();
    section.Row("video", Text("%i x %i %s, %s (%u/%u)", video.width, video.height,
                              LayoutLabel(video.formatId).c_str(),
                              FrameRate(video.rate, video.scale).c_str(), video.rate, video.scale));
    if (const CompressionSettings* compression = settings.compression()) {
        section.Row("compressor", DescribeCompressor(*compression));
        section.Row("key frames", DescribeKeyFrames(*compression));
        section.Row("data rate", DescribeDataRate(*compression));
        section.Row("records", compression->paddingSize
                                   ? Text("padded to %u bytes", compression->paddingSize)
                                   : std::string("not padded"));
        section.Row("audio lead", compression->offsetAudioAndVideo
                                      ? "audio leads video by 0.75 s"
                                      : "none (audio and video start together)");
    }
    section.Row("audio", DescribeAudio(settings.audio()));
}

}  // namespace zedadu::host
