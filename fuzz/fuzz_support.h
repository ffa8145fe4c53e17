// Fuzz input as a file: the platform layers under test open files by name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zedadu::fuzz {

// Replaces the contents of this process's scratch file of that name with the input and returns
// its path.
const std::string& InputAsFile(const uint8_t* data, size_t size, const char* name = "input");
// A directory of this process's own, for layers that write files beside the one they change.
const std::string& ScratchDirectory();

}  // namespace zedadu::fuzz
