// The two halves of the reader's opening benchmarks: opening a file through the entry point, and
// the baseline of reading it once with cat.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "plugin/plugin.h"

namespace zedadu::bench {

inline void OpenAndClose(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        void* handle = nullptr;
        if (!AVFILE_OpenFileForRead(&handle, path.c_str())) {
            state.SkipWithError("open failed");
            break;
        }
        AVFILE_CloseReadingFile(handle);
    }
}

inline void CatOnce(benchmark::State& state, const std::string& path) {
    const std::string command = "cat " + path + " > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("cat failed");
            break;
        }
    }
}

}  // namespace zedadu::bench
