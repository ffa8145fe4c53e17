// Heavy load through the entry points, and recordings on every core. Eight threads read frames and
// audio at random, each through its own handles of several files, while two writers record: every
// read is checked against what reading the file alone gave, and both recordings decode to what was
// sent. And while one thread holds the access lock inside an entry point (a message box shown under
// it), every call that needs the lock gives up unchanged and the calls that take no lock go on.
#include <atomic>
#include <future>
#include <random>
#include <thread>
#include <tuple>

extern "C" {
#include <libavutil/cpu.h>
}

#include "core/module.h"
#include "core/text.h"
#include "platform/hostlib/host_api.h"
#include "plugin/plugin.h"
#include "tests/writer/writer_test_support.h"

namespace zedadu::test {
namespace {

using Stress = WriterTest;

ImageFrameRequest FrameRequest(const ImageFormatStruct& layout, uint32_t frame,
                               std::vector<uint8_t>& buffer) {
    return test::FrameRequest(frame, layout.formatId, layout.width, layout.height, buffer);
}

// A request whose buffer is filled with 0xCC.
AudioSamplesRequest SamplesRequest(const AudioFormatRecord& layout, uint32_t first, uint32_t count,
                                   std::vector<uint8_t>& buffer) {
    buffer.assign(size_t(count) * layout.frameBytes, 0xCC);
    return test::SamplesRequest(first, count, layout.formatId, buffer);
}

std::vector<uint8_t> Delivered(const std::vector<uint8_t>& buffer, uint32_t bytes) {
    return {buffer.begin(), buffer.begin() + long(std::min<size_t>(bytes, buffer.size()))};
}

// A file and what reading it alone gives: every frame in every offered layout, the whole audio
// track in every offered layout.
struct Reference {
    std::string path;
    std::vector<ImageFormatStruct> layouts;
    std::vector<std::vector<std::vector<uint8_t>>> pictures;  // [layout][frame]
    std::vector<AudioFormatRecord> audioLayouts;
    std::vector<std::vector<uint8_t>> audio;  // [layout]
};

Reference TakeReference(const std::string& path) {
    Reference reference{path, {}, {}, {}, {}};
    const ReadingFile file(path);
    const ReadingFileInfo info = file.info();
    std::vector<uint8_t> buffer;
    for (uint32_t i = 0; i < info.videoFormatCount; ++i) {
        reference.layouts.push_back(info.videoFormats[i]);
        buffer.assign(info.videoFormats[i].imageSize, 0);
        auto& pictures = reference.pictures.emplace_back();
        for (uint32_t frame = 0; frame < info.frameCount; ++frame) {
            ImageFrameRequest request = FrameRequest(info.videoFormats[i], frame, buffer);
            EXPECT_EQ(AVFILE_ReadImageFrame(file.handle(), &request), 1) << path;
            pictures.push_back(Delivered(buffer, request.result.imageSize));
        }
    }
    for (uint32_t i = 0; i < info.audioFormatCount; ++i) {
        reference.audioLayouts.push_back(info.audioFormats[i]);
        AudioSamplesRequest request = SamplesRequest(info.audioFormats[i], 0, info.audioLength,
                                                     reference.audio.emplace_back());
        EXPECT_EQ(AVFILE_ReadAudioSamples(file.handle(), &request), 1) << path;
    }
    return reference;
}

bool FrameMatches(void* handle, const Reference& reference, std::mt19937& random,
                  std::vector<uint8_t>& buffer) {
    const size_t layout = random() % reference.layouts.size();
    const auto& pictures = reference.pictures[layout];
    const uint32_t frame = uint32_t(random() % pictures.size());
    buffer.assign(reference.layouts[layout].imageSize, 0);
    ImageFrameRequest request = FrameRequest(reference.layouts[layout], frame, buffer);
    return AVFILE_ReadImageFrame(handle, &request) == 1 &&
           Delivered(buffer, request.result.imageSize) == pictures[frame];
}

// A run anywhere, across the end or past it: what exists comes from the track, the rest is
// silence.
bool SamplesMatch(void* handle, const Reference& reference, std::mt19937& random,
                  std::vector<uint8_t>& buffer) {
    const size_t layout = random() % reference.audioLayouts.size();
    const AudioFormatRecord& format = reference.audioLayouts[layout];
    const std::vector<uint8_t>& track = reference.audio[layout];
    const uint32_t length = uint32_t(track.size() / format.frameBytes);
    const uint32_t first = uint32_t(random() % (length + 200));
    AudioSamplesRequest request = SamplesRequest(format, first, 1 + random() % 3000, buffer);
    std::vector<uint8_t> expected(buffer.size(),
                                  SameText(format.formatId, FORMAT_ID_PCM8) ? 128 : 0);
    const size_t from = std::min<size_t>(size_t(first) * format.frameBytes, track.size());
    const size_t bytes = std::min(expected.size(), track.size() - from);
    std::copy_n(track.begin() + long(from), bytes, expected.begin());
    return AVFILE_ReadAudioSamples(handle, &request) == 1 && buffer == expected;
}

// Reads at random through handles of its own until told to stop (and at least a few hundred
// times); answers the number of reads that failed or differed from the references.
int ReadAtRandom(const std::vector<Reference>& references, unsigned seed,
                 const std::atomic<bool>& stop) {
    std::vector<void*> handles(references.size(), nullptr);
    for (size_t i = 0; i < references.size(); ++i) {
        AVFILE_OpenFileForRead(&handles[i], references[i].path.c_str());
    }
    std::mt19937 random(seed);
    std::vector<uint8_t> buffer;
    int failures = 0;
    for (int n = 0; n < 300 || !stop; ++n) {
        const size_t file = random() % references.size();
        const bool matches = random() % 2
                                 ? FrameMatches(handles[file], references[file], random, buffer)
                                 : SamplesMatch(handles[file], references[file], random, buffer);
        failures += !matches;
    }
    for (void* handle : handles) {
        failures += AVFILE_CloseReadingFile(handle) != 1;
    }
    return failures;
}

// The pictures this plug-in's reader gives of a clip against the frames sent.
double PsnrThroughOurReader(const Clip& clip, const WriterSetup& s) {
    const ReadingFile file(clip.path);
    std::string read, sent;
    std::vector<uint8_t> buffer(FrameBytes(s));
    for (uint32_t i = 0; i < clip.frames.size(); ++i) {
        ImageFrameRequest request =
            test::FrameRequest(i, FORMAT_ID_RGB24, s.width, s.height, buffer);
        EXPECT_EQ(AVFILE_ReadImageFrame(file.handle(), &request), 1) << i;
        read.append(buffer.begin(), buffer.end());
        sent.append(clip.frames[i].begin(), clip.frames[i].begin() + long(buffer.size()));
    }
    return Psnr(read, sent);
}

// The video and the audio of one recording, each from a thread of its own.
struct TwoThreadRecording {
    WriterSetup s;
    void* handle = nullptr;
    std::vector<std::vector<uint8_t>> frames;
    uint32_t sent = 0;

    void run() {
        frames.resize(s.frames);
        std::thread video([&] {
            for (uint32_t i = 0; i < s.frames; ++i) {
                frames[i] = TestFrame(s, i);
                auto pixels = frames[i];
                EXPECT_TRUE(WriteFrame(handle, s, pixels)) << i;
            }
        });
        // The last frame counts before its call returns, so the refusal is checked against the
        // handle's own count rather than the video thread's progress.
        uint32_t& framesCounted = WritingOf(handle).frameCount;
        for (;;) {
            auto samples = TestSamples(s, sent, 1500);
            if (!WriteSamples(handle, s, samples, 1500)) {
                EXPECT_EQ(std::atomic_ref(framesCounted).load(), s.frames)
                    << "refused only once the video is complete";
                break;
            }
            sent += 1500;
        }
        video.join();
    }
};

TEST_F(Stress, EightReadersCheckEveryReadWhileTwoRecordingsRun) {
    const WriterSetup uncompressed{.padding = 512, .frames = 12, .audio = true};
    const WriterSetup compressed{.handler = FourCC("MSVC"),
                                 .frames = 12,
                                 .audio = true,
                                 .channels = 1,
                                 .audioId = FORMAT_ID_PCM8};
    const std::string motionJpeg = dir.file("mjpeg.avi");
    ASSERT_TRUE(
        Ffmpeg("-f lavfi -i testsrc=size=32x24:rate=10:duration=1.2 -f lavfi -i "
               "sine=sample_rate=8000:duration=1.2 -c:v mjpeg -c:a pcm_s16le '" +
               motionJpeg + "'"));
    const std::vector<Reference> references = {
        TakeReference(WriteClip(uncompressed, dir.file("dib.avi"), 12, 1000).path),
        TakeReference(WriteClip(compressed, dir.file("msvc.avi"), 12, 1000).path),
        TakeReference(motionJpeg)};

    TwoThreadRecording first{uncompressed, nullptr, {}, 0}, second{compressed, nullptr, {}, 0};
    first.s.frames = second.s.frames = 150;
    first.s.sampleRate = 48000;
    first.s.offset = 1;
    first.handle = OpenWriter(first.s, dir.file("first.avi"));
    second.handle = OpenWriter(second.s, dir.file("second.avi"));
    ASSERT_TRUE(first.handle && second.handle);
    std::atomic<bool> recorded{false};
    std::vector<std::future<int>> readers;
    for (unsigned seed = 1; seed <= 8; ++seed) {
        readers.push_back(std::async(std::launch::async, ReadAtRandom, std::cref(references), seed,
                                     std::cref(recorded)));
    }
    std::thread recordFirst([&] { first.run(); });
    second.run();
    recordFirst.join();
    recorded = true;
    for (auto& reader : readers) {
        EXPECT_EQ(reader.get(), 0);
    }

    for (TwoThreadRecording* recording : {&first, &second}) {
        const auto& handle = WritingOf(recording->handle);
        const uint32_t written = handle.audioLength;
        EXPECT_EQ(written + handle.pendingAudioFrames, recording->sent);
        ASSERT_EQ(AVFILE_CloseFileForWrite(recording->handle), 1);
        const std::string path = dir.file(recording == &first ? "first.avi" : "second.avi");
        ExpectValidAvi(path);
        const bool wide = recording == &first;
        ExpectSameBytes(Decoded(path, wide ? "-map 0:a -f s16le" : "-map 0:a -f u8"),
                        TestSamples(recording->s, 0, written));
    }
    ExpectSameBytes(Decoded(dir.file("first.avi"), "-map 0:v -f rawvideo -pix_fmt bgr24"),
                    Clip{"", first.frames}.topDown(first.s));
}

// Recordings whose compressor runs on slice threads, one a core (the bitmap converted in bands on
// them where its rows convert alone), decode in ffmpeg and in this plug-in's reader as the same
// recordings on one thread do. FFV1 and DV write the same bytes; Motion JPEG codes one slice a
// thread, whose blocks decode to the same pictures; MPEG-4 codes one slice a thread, predicted
// within its slice, at the same quality within 0.1 dB.
TEST_F(Stress, RecordingsOnSliceThreadsDecodeAsOnOneThread) {
    if (av_cpu_count() < 2) {
        GTEST_SKIP() << "one core: no slice threads";
    }
    enum class Same { File, Pictures, Quality };
    struct Case {
        const char* handler;
        int32_t width;
        int32_t height;
        Same same;
    } cases[] = {{"FFV1", 320, 240, Same::File},
                 {"dvsd", 720, 480, Same::File},
                 {"MJPG", 320, 240, Same::Pictures},
                 {"XVID", 320, 240, Same::Quality}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.handler);
        const FOURCC handler = mmioFOURCC(c.handler[0], c.handler[1], c.handler[2], c.handler[3]);
        WriterSetup s{.handler = handler, .width = c.width, .height = c.height};
        s.frames = 8;
        s.smooth = true;
        av_cpu_force_count(1);
        const Clip one = WriteClip(s, dir.file(std::string(c.handler) + "-one.avi"), s.frames);
        av_cpu_force_count(0);
        const Clip sliced = WriteClip(s, dir.file(std::string(c.handler) + ".avi"), s.frames);
        EXPECT_EQ(one.bytes() == sliced.bytes(), c.same == Same::File);
        const std::string sent = sliced.topDown(s);
        const std::string asRgb = "-f rawvideo -pix_fmt bgr24";
        const std::string decodedOne = Decoded(one.path, asRgb);
        const std::string decoded = Decoded(sliced.path, asRgb);
        if (c.same != Same::Quality) {
            ExpectSameBytes(decoded, decodedOne);
        }
        EXPECT_NEAR(Psnr(decoded, sent), Psnr(decodedOne, sent), 0.1);
        EXPECT_GT(Psnr(decodedOne, sent), 25);
        EXPECT_NEAR(PsnrThroughOurReader(sliced, s), PsnrThroughOurReader(one, s), 0.1);
    }
}

// Holds the thread that shows a message box until the test lets it go.
class HeldMessageBox {
  public:
    HeldMessageBox() { ZedaduHost_SetMessageHandler(&Hold, this); }
    ~HeldMessageBox() { ZedaduHost_SetMessageHandler(nullptr, nullptr); }
    uint32_t waitUntilShown() { return shown_.get_future().get(); }
    void release() { released_.set_value(); }

  private:
    static int32_t Hold(void* context, const ZedaduHostMessage* message) {
        auto* box = static_cast<HeldMessageBox*>(context);
        box->shown_.set_value(message->messageId);
        box->released_.get_future().wait();
        return IDOK;
    }
    std::promise<uint32_t> shown_;
    std::promise<void> released_;
};

// Calls refused for the lock leave the handles as they were: the reader has not even opened its
// file, the writer has written nothing more and its handle still closes.
TEST_F(Stress, CallsThatNeedTheLockGiveUpWhileAnEntryPointHoldsIt) {
    const WriterSetup s{.audio = true};
    const std::string reading = WriteClip(s, dir.file("reading.avi"), 3, 1000).path;
    void* reader = nullptr;
    ASSERT_EQ(AVFILE_OpenFileForRead(&reader, reading.c_str()), 1);
    void* holder = OpenWriter(s, dir.file("holder.avi"));
    void* other = OpenWriter(s, dir.file("other.avi"));
    auto frame = TestFrame(s, 0);
    auto samples = TestSamples(s, 0, 5000);
    ASSERT_TRUE(WriteFrame(holder, s, frame) && WriteFrame(other, s, frame));
    const auto& otherHandle = WritingOf(other);
    const uint32_t movieEnd = otherHandle.movieEnd;

    HeldMessageBox box;
    std::thread holding([&] {  // more samples than a slot holds: message 790
        EXPECT_FALSE(WriteSamples(holder, s, samples, 5000));
    });
    ASSERT_EQ(box.waitUntilShown(), 790u);
    SetAccessLockWaitForTesting(50);
    ReadingFileInfo info{};
    info.size = sizeof info;
    ASSERT_EQ(AVFILE_GetReadingFileInfo(reader, &info), 1);
    std::vector<uint8_t> pixels(info.videoFormats[0].imageSize, 0xCC), delivered;
    ImageFrameRequest frameRequest = FrameRequest(info.videoFormats[0], 1, pixels);
    AudioSamplesRequest samplesRequest = SamplesRequest(info.audioFormats[0], 10, 100, delivered);
    Poison(frameRequest.result);
    Poison(samplesRequest.result);
    EXPECT_EQ(AVFILE_ReadImageFrame(reader, &frameRequest), 0);
    EXPECT_EQ(AVFILE_ReadAudioSamples(reader, &samplesRequest), 0);
    EXPECT_FALSE(ReadingOf(reader).file);
    EXPECT_TRUE(IsPoisonedExceptSize(frameRequest.result));
    EXPECT_TRUE(IsPoisonedExceptSize(samplesRequest.result));
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 0xCC), long(pixels.size()));
    EXPECT_EQ(std::count(delivered.begin(), delivered.end(), 0xCC), long(delivered.size()));
    // A run with nothing to read inside the stream is answered without the lock.
    std::vector<uint8_t> silence;
    AudioSamplesRequest atTheEnd =
        SamplesRequest(info.audioFormats[0], info.audioLength, 10, silence);
    EXPECT_EQ(AVFILE_ReadAudioSamples(reader, &atTheEnd), 1);
    EXPECT_EQ(atTheEnd.samplesDelivered, 0u);
    EXPECT_FALSE(WriteFrame(other, s, frame));
    EXPECT_FALSE(WriteSamples(other, s, samples, 100));
    EXPECT_EQ(AVFILE_CloseFileForWrite(other), 0);
    EXPECT_EQ(std::tuple(otherHandle.tag, otherHandle.frameCount, otherHandle.movieEnd,
                         otherHandle.audioLength),
              std::tuple(FourCC("AVI "), 1u, movieEnd, 0u));
    void* opened = nullptr;  // opening, file info and closing take no lock
    EXPECT_EQ(AVFILE_OpenFileForRead(&opened, reading.c_str()), 1);
    EXPECT_EQ(AVFILE_GetReadingFileInfo(opened, &info), 1);
    EXPECT_EQ(AVFILE_CloseReadingFile(opened), 1);
    SetAccessLockWaitForTesting(kAccessLockWaitMilliseconds);

    box.release();
    holding.join();
    EXPECT_EQ(AVFILE_ReadImageFrame(reader, &frameRequest), 1);
    EXPECT_EQ(AVFILE_ReadAudioSamples(reader, &samplesRequest), 1);
    EXPECT_TRUE(WriteFrame(other, s, frame));
    EXPECT_EQ(AVFILE_CloseFileForWrite(other), 1);
    EXPECT_EQ(AVFILE_CloseFileForWrite(holder), 1);
    EXPECT_EQ(AVFILE_CloseReadingFile(reader), 1);
    ExpectValidAvi(dir.file("other.avi"));
}

}  // namespace
}  // namespace zedadu::test
