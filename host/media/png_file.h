// PNG pictures, written with libpng.
#pragma once

#include <string>

#include "host/media/image.h"

namespace zedadu::host {

// Throws HostError when the file cannot be written.
void WritePng(const std::string& path, const Image& image);

}  // namespace zedadu::host
