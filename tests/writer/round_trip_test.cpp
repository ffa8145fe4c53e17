// Files our own writer produces read back frame for frame: with no padding and audio on, reserved
// audio slots stay unindexed JUNK ahead of the first video chunk when no audio reaches them.
#include <gtest/gtest.h>

#include <cstring>

#include "frame/plugin.h"
#include "tests/writer/writer_test_support.h"

namespace zedadu::test {
namespace {

class WriterRoundTrip : public WriterTest {};

TEST_F(WriterRoundTrip, UnfilledAudioSlotsBeforeTheFirstFrameDoNotMisplaceTheIndex) {
    WriterSetup setup;
    setup.frames = 6;
    setup.audio = true;
    setup.padding = 0;
    setup.rate = 30000;
    setup.scale = 1001;
    const std::string path = dir.file("written.avi");
    for (const bool withAudio : {false, true}) {
        void* writer = OpenWriter(setup, path);
        ASSERT_NE(writer, nullptr);
        std::vector<std::vector<uint8_t>> frames;
        for (uint32_t i = 0; i < setup.frames; ++i) {
            frames.push_back(TestFrame(setup, i));
            std::vector<uint8_t> pixels = frames.back();
            ASSERT_TRUE(WriteFrame(writer, setup, pixels));
            if (withAudio && i == 3) {  // the first slots stay empty
                std::vector<uint8_t> samples = TestSamples(setup, 0, 1470);
                ASSERT_TRUE(WriteSamples(writer, setup, samples, 1470));
            }
        }
        ASSERT_EQ(AVFILE_CloseFileForWrite(writer), 1);
        void* reader = nullptr;
        ASSERT_EQ(AVFILE_OpenFileForRead(&reader, path.c_str()), 1);
        const size_t frameBytes = size_t(setup.width) * setup.height * 3;
        std::vector<uint8_t> buffer(frameBytes);
        for (uint32_t i = 0; i < setup.frames; ++i) {
            ImageFrameRequest request{};
            request.frameNumber = i;
            request.buffer = buffer.data();
            request.bufferSize = uint32_t(buffer.size());
            strcpy(request.requested.formatId, FORMAT_ID_RGB24);
            request.requested.width = setup.width;
            request.requested.height = setup.height;
            ASSERT_EQ(AVFILE_ReadImageFrame(reader, &request), 1) << i;
            frames[i].resize(frameBytes);  // the test frames have room for any layout
            EXPECT_EQ(buffer, frames[i]) << "frame " << i << (withAudio ? " with audio" : "");
        }
        AVFILE_CloseReadingFile(reader);
    }
}

}  // namespace
}  // namespace zedadu::test
