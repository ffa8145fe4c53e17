// Small text helpers of the host: printf-style composition into a string and the texts of the
// plug-in's fixed-size record fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "platform/win32/types.h"

namespace zedadu::host {

std::string Text(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A record's text field, which the plug-in zero-terminates but the host does not trust to be.
template <size_t N>
std::string FieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

template <size_t N>
void SetFieldText(char (&field)[N], const std::string& text) {
    const size_t length = text.size() < N ? text.size() : N - 1;
    memcpy(field, text.data(), length);
    field[length] = '\0';
}

// A run of one to `mostDigits` decimal digits and nothing else, as its value; nothing for any other
// text.
std::optional<uint64_t> DecimalDigits(const std::string& text, size_t mostDigits);

// The reason of a failed system call in words: "permission denied", "no such file or directory".
std::string SystemReason(int error);

// "MSVC", "DIB ": the four characters of a handler code, first character in the lowest byte.
std::string FourCCText(FOURCC code);

// 1 -> "1 frame", 2 -> "2 frames": the count and the word, singular or plural ("entry" ->
// "entries" when the plural is given).
std::string Counted(uint64_t count, const char* singular, const char* plural = nullptr);

// 1536000 -> "1.5 MB"; 999 -> "999 bytes"; 1 -> "1 byte".
std::string ByteCount(uint64_t bytes);
// 44100 -> "44.1 kHz", 48000 -> "48 kHz".
std::string SampleRateText(uint32_t sampleRate);
// "44.1 kHz, 16-bit, stereo"; "48 kHz, 8-bit, 6 channels".
std::string AudioText(uint32_t sampleRate, uint32_t bits, uint32_t channels);
// Seconds as "1:02:03.5" or "2.00 s".
std::string Duration(double seconds);
// 30000/1001 -> "29.97 fps".
std::string FrameRate(uint32_t rate, uint32_t scale);

}  // namespace zedadu::host
