// Profile (INI) files with the Win32 semantics: sections and keys match ignoring case, anything
// missing yields the default, writes keep every other line of the file (comments included) and
// replace the file atomically. A file name without a directory is looked for in the Windows
// directory (GetWindowsDirectoryA).
#pragma once

#include <string>

#include "platform/win32/types.h"

// section null: the section names; key null: the key names of the section; both as zero-terminated
// names ended by an empty one. Otherwise the value (surrounding blanks and quotes removed) or the
// default. Returns the characters copied without the terminator, cut to fit the buffer.
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                               char* buffer, DWORD size, const char* fileName);
// The leading decimal integer of the value (0 when it does not start with one), or the default
// when the key is missing.
UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                           const char* fileName);
// value null deletes the key; key null deletes the section.
BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName);

namespace zedadu::profile {

// Reads of a profile file that does not exist are answered from this text instead, the way the
// platform answers some profile files from its registry; an empty text takes the stand-in away.
// A write creates the file, from the stand-in's lines.
void SetStandInForMissingFile(const char* fileName, const std::string& text);

}  // namespace zedadu::profile
