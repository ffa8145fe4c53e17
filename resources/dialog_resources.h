// The module's resources: its dialog templates, made from zedadu.rc when the module is built.
#pragma once

#include <iterator>
#include <span>

#include "platform/ui/dialog_template.h"

namespace zedadu::resources {

std::span<const DialogTemplate> DialogTemplates();

}  // namespace zedadu::resources
