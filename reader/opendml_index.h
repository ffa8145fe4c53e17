// The index of AVI files of several RIFF parts: a super index ('indx') in each stream list names
// the standard indexes ('ix##') that list the stream's chunks with 64-bit positions.
#pragma once

#include <cstdint>

#include "platform/mmio/mmio.h"
#include "reader/chunk_list.h"

namespace zedadu::reader {

// The data of a stream list's 'indx' chunk.
struct SuperIndexChunk {
    uint64_t data = 0;
    uint32_t size = 0;
};

// Reads the chunks of one stream from its 'indx' chunk: the standard indexes a super index names,
// or the standard index the chunk itself holds. Counts come from the bytes the file holds, and the
// entries are reserved once, never more than one for every 16 bytes of the file. Field indexes
// (two fields a frame) read as frames; key frames are the entries whose size has bit 31 clear.
// False, with `chunks` empty, when the chunk holds no index of this stream, or when any part of it
// points anywhere but where an index of the stream's chunks would: at something other than a
// standard index of this stream, at one standard index twice or overlapping another, or at a
// chunk that does not lie within the file (base and offset compared so that nothing wraps).
bool LoadOpenDmlIndex(HMMIO file, uint64_t fileSize, const SuperIndexChunk& superIndex, int stream,
                      ChunkList& chunks);

// Whether the file holds, before the data of the first entry, the last and a few between, a
// chunk header of this stream with the entry's size.
bool FileConfirms(HMMIO file, const ChunkList& chunks, int stream);

}  // namespace zedadu::reader
