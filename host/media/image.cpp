#include "host/media/image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "host/cli/errors.h"
#include "host/cli/text.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace zedadu::host {

void ToBitmap(const Image& image, const Layout& layout, std::vector<uint8_t>& bitmap,
              size_t capacity) {
    const uint32_t rowBytes = BitmapRowBytes(image.width, layout.bytes);
    bitmap.assign(std::max(capacity, size_t(rowBytes) * size_t(image.height)), 0);
    for (int32_t y = 0; y < image.height; ++y) {
        uint8_t* row = &bitmap[size_t(image.height - 1 - y) * rowBytes];
        for (int32_t x = 0; x < image.width; ++x) {
            const uint8_t* rgb = image.pixel(x, y);
            uint8_t* out = row + size_t(x) * layout.bytes;
            out[0] = rgb[2];
            out[1] = rgb[1];
            out[2] = rgb[0];
            if (layout.bytes == 4) {
                out[3] = 255;
            }
        }
    }
}

bool FromBitmap(const ImageFormatStruct& format, const uint8_t* bitmap, size_t bytes,
                Image& image) {
    const Layout* layout = FindImageLayout(FieldText(format.formatId));
    if (!layout || (layout->bytes != 3 && layout->bytes != 4) || format.width <= 0 ||
        format.height <= 0) {
        return false;
    }
    const uint32_t rowBytes = BitmapRowBytes(format.width, layout->bytes);
    if (bytes / rowBytes < size_t(format.height)) {
        return false;
    }
    image = Image(format.width, format.height);
    for (int32_t y = 0; y < image.height; ++y) {
        const uint8_t* row = bitmap + size_t(image.height - 1 - y) * rowBytes;
        for (int32_t x = 0; x < image.width; ++x) {
            const uint8_t* in = row + size_t(x) * layout->bytes;
            uint8_t* rgb = image.pixel(x, y);
            rgb[0] = in[2];
            rgb[1] = in[1];
            rgb[2] = in[0];
        }
    }
    return true;
}

Image Resized(const Image& image, int32_t width, int32_t height) {
    Image resized(width, height);
    SwsContext* scaler = sws_getContext(image.width, image.height, AV_PIX_FMT_RGB24, width, height,
                                        AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!scaler) {
        throw HostError(Text("libswscale cannot resize %i x %i pictures to %i x %i", image.width,
                             image.height, width, height));
    }
    const uint8_t* in[] = {image.rgb.data()};
    const int inStride[] = {image.width * 3};
    uint8_t* out[] = {resized.rgb.data()};
    const int outStride[] = {width * 3};
    sws_scale(scaler, in, inStride, 0, image.height, out, outStride);
    sws_freeContext(scaler);
    return resized;
}

void Paste(Image& sheet, const Image& tile, int32_t x, int32_t y) {
    const int32_t columns = std::min(tile.width, sheet.width - x);
    for (int32_t row = 0; row < tile.height && y + row < sheet.height; ++row) {
        if (columns > 0) {
            memcpy(sheet.pixel(x, y + row), tile.pixel(0, row), size_t(columns) * 3);
        }
    }
}

double Psnr(const Image& a, const Image& b) {
    if (a.width != b.width || a.height != b.height || a.rgb.empty()) {
        return 0.0;
    }
    double squares = 0.0;
    for (size_t i = 0; i < a.rgb.size(); ++i) {
        const double difference = double(a.rgb[i]) - double(b.rgb[i]);
        squares += difference * difference;
    }
    if (squares == 0.0) {
        return std::numeric_limits<double>::infinity();
    }
    const double meanSquare = squares / double(a.rgb.size());
    return 10.0 * std::log10(255.0 * 255.0 / meanSquare);
}

}  // namespace zedadu::host
