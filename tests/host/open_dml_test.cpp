// A capture past the first gigabyte, as ffmpeg writes it: RIFF extensions and 'indx' super indexes
// in the stream lists, which check reports as an OpenDML index. The file is made in the test's
// directory and removed with it.
#include "tests/host/host_test_support.h"
#include "tests/support/test_support.h"

namespace zedadu::test {
namespace {

class HostOpenDml : public HostTest {};

TEST_F(HostOpenDml, CapturesPastTheFirstGigabyteUseTheirOpenDmlIndex) {
    // 180 uncompressed 1920 x 1080 frames: 1.1 GB.
    Ffmpeg(
        "-f lavfi -i testsrc=size=1920x1080:rate=25 -frames:v 180 -c:v rawvideo -pix_fmt bgr24 "
        "big.avi");
    const auto info = HostJson("info --json big.avi");
    EXPECT_EQ(info["index"], "OpenDML");
    const auto checked = HostJson("check --json big.avi", -1);
    EXPECT_EQ(checked["index"], "OpenDML");
}

}  // namespace
}  // namespace zedadu::test
