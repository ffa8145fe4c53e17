// Text conversion between Windows-1252, the ANSI code page of zedadu, and UTF-16.
#include <algorithm>
#include <array>

#include "platform/system/system.h"

namespace {

// Bytes 0x80 to 0x9F; the five bytes the code page leaves undefined map to the same code point.
constexpr std::array<char16_t, 32> kHighControlRange = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t WideFromAnsi(unsigned char byte) {
    return byte >= 0x80 && byte <= 0x9F ? kHighControlRange[byte - 0x80] : char16_t{byte};
}

// Returns false when the character has no byte in the code page.
bool AnsiFromWide(char16_t wide, unsigned char* byte) {
    if (wide < 0x80 || (wide >= 0xA0 && wide <= 0xFF)) {
        *byte = static_cast<unsigned char>(wide);
        return true;
    }
    const auto* found = std::find(kHighControlRange.begin(), kHighControlRange.end(), wide);
    if (found == kHighControlRange.end()) {
        return false;
    }
    *byte = static_cast<unsigned char>(0x80 + (found - kHighControlRange.begin()));
    return true;
}

bool KnownCodePage(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_WINDOWS_1252;
}

template <typename Char>
int LengthWithTerminator(const Char* text, int length) {
    if (length >= 0) {
        return length;
    }
    int count = 0;
    while (text[count] != 0) {
        ++count;
    }
    return count + 1;
}

unsigned char UpperAnsi(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
        return static_cast<unsigned char>(c - 0x20);
    }
    switch (c) {
        case 0x9A:
            return 0x8A;  // s with caron
        case 0x9C:
            return 0x8C;  // ligature oe
        case 0x9E:
            return 0x8E;  // z with caron
        case 0xFF:
            return 0x9F;  // y with diaeresis
        default:
            return c;
    }
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD, const char* text, int length, char16_t* wide,
                        int wideSize) {
    if (!KnownCodePage(codePage) || !text || wideSize < 0) {
        return 0;
    }
    const int count = LengthWithTerminator(text, length);
    if (wideSize == 0) {
        return count;
    }
    const int converted = std::min(count, wideSize);
    for (int i = 0; i < converted; ++i) {
        wide[i] = WideFromAnsi(static_cast<unsigned char>(text[i]));
    }
    return converted == count ? count : 0;
}

int WideCharToMultiByte(UINT codePage, DWORD, const char16_t* wide, int wideLength, char* text,
                        int textSize, const char* defaultChar, BOOL* usedDefault) {
    if (!KnownCodePage(codePage) || !wide || textSize < 0) {
        return 0;
    }
    const int count = LengthWithTerminator(wide, wideLength);
    if (usedDefault) {
        *usedDefault = FALSE;
    }
    if (textSize == 0) {
        return count;
    }
    const int converted = std::min(count, textSize);
    for (int i = 0; i < converted; ++i) {
        unsigned char byte;
        if (!AnsiFromWide(wide[i], &byte)) {
            byte = static_cast<unsigned char>(defaultChar ? *defaultChar : '?');
            if (usedDefault) {
                *usedDefault = TRUE;
            }
        }
        text[i] = static_cast<char>(byte);
    }
    return converted == count ? count : 0;
}

char* CharUpperA(char* text) {
    for (char* c = text; c && *c; ++c) {
        *c = static_cast<char>(UpperAnsi(static_cast<unsigned char>(*c)));
    }
    return text;
}

DWORD CharUpperBuffA(char* text, DWORD length) {
    for (DWORD i = 0; text && i < length; ++i) {
        text[i] = static_cast<char>(UpperAnsi(static_cast<unsigned char>(text[i])));
    }
    return text ? length : 0;
}

int lstrcmpiA(const char* a, const char* b) {
    const auto* left = reinterpret_cast<const unsigned char*>(a ? a : "");
    const auto* right = reinterpret_cast<const unsigned char*>(b ? b : "");
    for (;; ++left, ++right) {
        const int difference = UpperAnsi(*left) - UpperAnsi(*right);
        if (difference != 0 || *left == 0) {
            return difference;
        }
    }
}

bool SameFourCCIgnoringCase(FOURCC a, FOURCC b) {
    for (int shift = 0; shift < 32; shift += 8) {
        if (UpperAnsi(static_cast<unsigned char>(a >> shift)) !=
            UpperAnsi(static_cast<unsigned char>(b >> shift))) {
            return false;
        }
    }
    return true;
}
