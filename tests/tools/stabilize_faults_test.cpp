// regviafft-stabilize under faults: a file cut off mid-frame, a damaged
// packet, a frame size that changes, a full disk.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "command_runs.h"
#include "media_files.h"

namespace {

using namespace command_runs;

std::string bytesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string clipFile(const std::string& name, int frames, unsigned seed, const std::string& codec = "ffv1")
{
    media::ShakyClip shaky = media::shakyClip(kWidth, kHeight, frames, seed);
    shaky.clip.codec = codec;
    const std::string path = scratch(name);
    media::writeClip(path, shaky.clip);
    return path;
}

}  // namespace

TEST(StabilizeFaults, FileCutOffMidFrameKeepsEveryWholeFrameBeforeTheCut)
{
    const std::string whole = clipFile("whole.mkv", 30, 21);
    const std::string bytes = bytesOf(whole);
    const std::string cut = scratch("cut.mkv");
    writeBytes(cut, bytes.substr(0, bytes.size() * 6 / 10));
    const std::string output = scratch("cut-out.mkv");
    const media::Run run = media::runProgram(kProgram, {"--codec", "ffv1", cut, output});
    EXPECT_EQ(run.status, 0) << run.errors;
    const media::Contents in = media::readClip(cut), out = media::readClip(output);
    // As many frames as the cut file gives back, every one of them.
    EXPECT_GT(out.lumas.size(), 5u);
    EXPECT_LT(out.lumas.size(), 30u);
    EXPECT_EQ(out.lumas.size(), in.lumas.size());
}

TEST(StabilizeFaults, DamagedPacketIsPassedOverWithAWarningAndTheRestGoesOn)
{
    // Motion JPEG: each frame starts with the marker FF D8 FF. Wipe the
    // tenth one's headers and the decoder refuses that frame alone.
    const std::string good = clipFile("jpeg.mkv", 25, 22, "mjpeg");
    std::string bytes = bytesOf(good);
    size_t at = 0;
    for (int frame = 0; frame < 10; ++frame)
        at = bytes.find("\xFF\xD8\xFF", at + 1);
    ASSERT_NE(at, std::string::npos);
    constexpr size_t kHeaders = 600;  // markers and tables; a frame here is a few kB
    bytes.replace(at, kHeaders, kHeaders, '\0');
    const std::string damaged = scratch("damaged.mkv");
    writeBytes(damaged, bytes);
    const std::string output = scratch("damaged-out.mkv");
    const media::Run run = media::runProgram(kProgram, {"--codec", "ffv1", damaged, output});
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.errors.find("warning: 1 damaged video packet of " + damaged + " passed over"),
              std::string::npos) << run.errors;
    EXPECT_EQ(media::readClip(output).lumas.size(), 24u);
}

TEST(StabilizeFaults, FrameSizeChangingMidwayStopsWithAClearErrorAndNoFile)
{
    // Two MPEG transport streams one after the other are one stream whose
    // frames grow at the join.
    std::string joined;
    for (const auto& [width, height] : {std::pair{160, 120}, std::pair{192, 144}}) {
        media::ShakyClip part = media::shakyClip(width, height, 10, static_cast<unsigned>(width));
        part.clip.codec = "libx264";
        part.clip.container = "mpegts";
        part.clip.audio = false;
        const std::string path = scratch("part" + std::to_string(width) + ".ts");
        media::writeClip(path, part.clip);
        joined += bytesOf(path);
    }
    const std::string input = scratch("joined.ts"), output = scratch("joined-out.mkv");
    writeBytes(input, joined);
    ASSERT_EQ(media::readClip(input).lumas.size(), 20u);
    const media::Run run = media::runProgram(kProgram, {input, output});
    expectOneLineFailure(run, "the frame size changes from 160x120 to 192x144 at frame 10");
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(exists(output));
    EXPECT_FALSE(exists(output + ".partial"));
}

TEST(StabilizeFaults, FullDiskIsAClearErrorAndThePartialFileIsRemoved)
{
    const std::string input = clipFile("long.mkv", 60, 25);
    const std::string output = scratch("full.mkv");
    // Every file the command writes may grow to 20 kB, as on a disk that fills.
    const media::Run run =
        media::runProgram(kProgram, {"--quiet", "--codec", "ffv1", input, output}, "", 0, 20000);
    expectOneLineFailure(run, "cannot write " + output + ": File too large");
    EXPECT_FALSE(exists(output));
    EXPECT_FALSE(exists(output + ".partial"));
    // Standard output on a full device says so too.
    const media::Run piped = media::runProgram(kProgram, {"--quiet", input, "-"}, "/dev/full");
    expectOneLineFailure(piped, "No space left on device");
}
