// The host's checks around the files a command reads and writes, so that every refusal names its
// cause: no such file, a folder, permission denied, an empty file, not a RIFF/AVI file, a video
// codec without a decoder here; and so that no command writes over its input or into a folder it
// cannot write.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/win32/types.h"

namespace zedadu::host {

struct AviScan;

// The file the plug-in opens for `path`: the path itself, or with ".avi" added where the plug-in
// adds it (a path without any dot) and only that file exists.
std::string ResolvedInput(const std::string& path);

// Throws HostError "cannot read PATH: REASON" when the file system already tells that the file
// cannot be read; does nothing otherwise.
void CheckReadable(const std::string& path);

// Why the plug-in refused to open a file that the file system let the host read: not a RIFF or
// AVI file, a codec without a decoder here, an index it cannot use, or a damaged file.
std::string RefusalReason(const std::string& path);

// Throws UsageError when `output` is one of `inputs` (the same file under another name or through
// a link counts as the same).
void RefuseToWriteOverInputs(const std::string& output, const std::vector<std::string>& inputs);

// The video codec of a scanned AVI file for which neither its code nor the stream's handler opens a
// decompressor here; nothing otherwise.
std::optional<FOURCC> UndecodableVideoCodec(const AviScan& scan);

// Throws UsageError when `output` names a folder: a command writes files, never into a folder
// given as its output.
void RefuseFolderAsOutput(const std::string& output);

// Throws HostError "cannot write into DIR: REASON" unless `directory` is a folder this process
// may create files in; `create` makes it (and its parents) first when it is missing.
void CheckWritableDirectory(const std::string& directory, bool create);

// Why writing into `directory` may have stopped: "no space left on the device of DIR" when less
// than a megabyte is free there, "the file size limit of N bytes (ulimit -f) was reached" when the
// process has one; empty when neither explains it.
std::string WriteStopReason(const std::string& directory);

}  // namespace zedadu::host
