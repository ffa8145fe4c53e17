#include "host/media/png_file.h"

#include <png.h>

#include "host/cli/errors.h"

namespace zedadu::host {

void WritePng(const std::string& path, const Image& image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(image.width);
    png.height = png_uint_32(image.height);
    png.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&png, path.c_str(), 0, image.rgb.data(), 0, nullptr)) {
        const std::string reason = png.message;
        png_image_free(&png);
        throw HostError("cannot write " + path + ": " + reason);
    }
}

}  // namespace zedadu::host
