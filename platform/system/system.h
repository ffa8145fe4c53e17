// Process, file and text services of the platform: the module and executable paths, the file
// time, the Windows directory where the platform keeps its own INI files, kernel handles, and text
// conversion between the ANSI code page (Windows-1252) and UTF-16.
#pragma once

#include "platform/win32/types.h"

// Kernel objects (files opened with CreateFileA, mutexes) are closed with CloseHandle.
struct KernelObject {
    virtual ~KernelObject() = default;
};
BOOL CloseHandle(HANDLE object);

// module null: the running program. Otherwise the shared object that contains the address given
// as the instance handle. Returns the characters copied (cut to size - 1), 0 on failure.
DWORD GetModuleFileNameA(HINSTANCE module, char* fileName, DWORD size);
// The instance handle of the module that contains the given code or data address.
HINSTANCE ModuleInstanceOf(const void* address);
// The directory where the platform keeps "system.ini" and where profile functions look for a file
// named without a directory. Returns the length copied, 0 on failure.
UINT GetWindowsDirectoryA(char* buffer, UINT size);

// Tests redirect the running program's path (and thereby "ZEDADU.ini") and the Windows directory.
void SetHostExecutablePathForTesting(const char* path);
void SetWindowsDirectoryForTesting(const char* path);

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000;
// Opens an existing file for reading; other access modes are not offered.
HANDLE CreateFileA(const char* fileName, DWORD access, DWORD shareMode, void* security,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* lastAccess, FILETIME* lastWrite);

constexpr UINT CP_ACP = 0;
constexpr UINT CP_WINDOWS_1252 = 1252;
constexpr DWORD MB_PRECOMPOSED = 0x1;
constexpr DWORD WC_COMPOSITECHECK = 0x200;
// The Win32 contract: a length of -1 converts up to and including the terminating zero; an
// output size of 0 returns the size needed; an output too small is filled and 0 is returned.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* text, int length, char16_t* wide,
                        int wideSize);
int WideCharToMultiByte(UINT codePage, DWORD flags, const char16_t* wide, int wideLength,
                        char* text, int textSize, const char* defaultChar, BOOL* usedDefault);
// Upper-casing in the ANSI code page, letters with accents included.
char* CharUpperA(char* text);
DWORD CharUpperBuffA(char* text, DWORD length);
// Compares ignoring case in the ANSI code page: negative, 0 or positive as strcmp.
int lstrcmpiA(const char* a, const char* b);

// Four-character codes compared ignoring case, character by character as the ANSI code page
// upper-cases them (accented letters too). The one rule by which handler codes are matched: by
// the compressor layer finding a driver, by the reader settling a stream's handler and by the
// settings dialog finding the stored compressor.
bool SameFourCCIgnoringCase(FOURCC a, FOURCC b);
