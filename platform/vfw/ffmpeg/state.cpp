#include "platform/vfw/ffmpeg/state.h"

#include <algorithm>

#include "platform/win32/byte_order.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

namespace zedadu::vfw::ffmpeg {
namespace {

// The option's default as the encoder declares it, among its own options or the context's.
int64_t DeclaredDefault(const CompressorSpec& entry, const EncoderOption& option) {
    const AVCodec* encoder = avcodec_find_encoder_by_name(entry.encoderName);
    const AVClass* classes[] = {encoder ? encoder->priv_class : nullptr, avcodec_get_class()};
    for (const AVClass* optionClass : classes) {
        if (!optionClass) {
            continue;
        }
        const AVOption* found =
            av_opt_find2(&optionClass, option.name, nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ, nullptr);
        if (found) {
            return found->default_val.i64;
        }
    }
    return 0;
}

// The value the encoder works with when the option is left alone: its declared default, or what a
// default marker outside the option's range stands for.
int64_t OptionDefault(const CompressorSpec& entry, const EncoderOption& option) {
    const int64_t declared = DeclaredDefault(entry, option);
    return declared < option.minimum || declared > option.maximum ? option.markedDefault : declared;
}

const EncoderOption* FindOption(const CompressorSpec& entry, uint32_t id) {
    const auto found = std::find_if(entry.options.begin(), entry.options.end(),
                                    [&](const EncoderOption& option) { return option.id == id; });
    return found != entry.options.end() ? &*found : nullptr;
}

}  // namespace

void CompressorState::Write(uint8_t* block) const {
    StoreU32(block, kStateMagic);
    StoreU16(block + 4, kStateVersion);
    StoreU16(block + 6, uint16_t(changed_.size()));
    StoreU32(block + 8, spec_->handler);
    uint8_t* entry = block + 12;
    for (const auto& [id, value] : changed_) {
        StoreU32(entry, id);
        StoreU32(entry + 4, uint32_t(value));
        entry += 8;
    }
}

size_t CompressorState::Read(const uint8_t* block, size_t size) {
    if (size < 12 || LoadU32(block) != kStateMagic || LoadU16(block + 4) != kStateVersion ||
        !SameFourCCIgnoringCase(LoadU32(block + 8), spec_->handler)) {
        return 0;
    }
    const size_t count = LoadU16(block + 6);
    if ((size - 12) / 8 < count) {
        return 0;
    }
    OptionValues changed;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* entry = block + 12 + 8 * i;
        const EncoderOption* option = FindOption(*spec_, LoadU32(entry));
        const auto value = int32_t(LoadU32(entry + 4));
        if (!option || value < option->minimum || value > option->maximum ||
            value == OptionDefault(*spec_, *option)) {
            continue;
        }
        std::erase_if(changed, [&](const auto& entry) { return entry.first == option->id; });
        changed.emplace_back(option->id, value);
    }
    changed_ = std::move(changed);
    return 12 + 8 * count;
}

int32_t CompressorState::Value(const EncoderOption& option) const {
    const auto found = std::find_if(changed_.begin(), changed_.end(),
                                    [&](const auto& entry) { return entry.first == option.id; });
    return found != changed_.end() ? found->second
                                   : static_cast<int32_t>(OptionDefault(*spec_, option));
}

void CompressorState::Set(const EncoderOption& option, int32_t value) {
    value = std::clamp(value, option.minimum, option.maximum);
    std::erase_if(changed_, [&](const auto& entry) { return entry.first == option.id; });
    if (value != OptionDefault(*spec_, option)) {
        changed_.emplace_back(option.id, value);
    }
}

void CompressorState::Apply(AVCodecContext* context) const {
    for (const auto& [id, value] : changed_) {
        if (const EncoderOption* option = FindOption(*spec_, id)) {
            av_opt_set_int(context, option->name, value, AV_OPT_SEARCH_CHILDREN);
        }
    }
}

}  // namespace zedadu::vfw::ffmpeg
