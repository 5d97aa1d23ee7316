// regviafft-stabilize end to end, on small files the tests write: what comes
// out, what survives, and how each kind of trouble is reported.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "command_runs.h"
#include "media_files.h"

namespace {

using namespace command_runs;

// The motion table: one map of column to value per frame.
std::vector<std::vector<double>> readTable(const std::string& path, std::vector<std::string>& header)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    std::stringstream names(line);
    header.clear();
    for (std::string name; std::getline(names, name, ',');)
        header.push_back(name);
    std::vector<std::vector<double>> rows;
    while (std::getline(in, line)) {
        std::stringstream cells(line);
        std::vector<double> row;
        for (std::string cell; std::getline(cells, cell, ',');)
            row.push_back(std::stod(cell));
        rows.push_back(row);
    }
    return rows;
}

int column(const std::vector<std::string>& header, const std::string& name)
{
    const auto at = std::find(header.begin(), header.end(), name);
    EXPECT_NE(at, header.end()) << name;
    return static_cast<int>(at - header.begin());
}

// Encoders that drive a graphics card or a video device this machine may lack.
bool needsDevice(const AVCodec* codec)
{
    const std::string name = codec->name;
    for (const char* suffix : {"_nvenc", "_qsv", "_vaapi", "_v4l2m2m", "_omx", "_amf", "_vulkan"})
        if (name.size() > std::strlen(suffix) && name.compare(name.size() - std::strlen(suffix), std::string::npos, suffix) == 0)
            return true;
    return (codec->capabilities & AV_CODEC_CAP_HARDWARE) != 0;
}

}  // namespace

TEST(StabilizeCommand, KnownShiftsComeBackInTheMotionTableAndTheFrames)
{
    const media::ShakyClip shaky = media::shakyClip(kWidth, kHeight, 40, 3);
    const std::string input = scratch("shaky.mkv");
    media::writeClip(input, shaky.clip);
    // Lossless into Matroska, where every pixel is checked; H.264 into MP4.
    for (const auto& [name, codec] : {std::pair{"steady.mkv", "ffv1"}, std::pair{"steady.mp4", "libx264"}}) {
        const std::string output = scratch(name), table = scratch(std::string(name) + ".csv");
        const media::Run run = media::runProgram(
            kProgram, {"--quiet", "--codec", codec, "--whole-pixel", "--mode", "causal", "--motion", table, input, output});
        ASSERT_EQ(run.status, 0) << run.errors;
        EXPECT_EQ(run.errors, "");
        const media::Contents in = media::readClip(input), out = media::readClip(output);
        ASSERT_EQ(out.lumas.size(), in.lumas.size()) << name;
        // Time stamps, variable rate included, and the audio come through.
        for (size_t t = 0; t < in.seconds.size(); ++t)
            EXPECT_NEAR(out.seconds[t], in.seconds[t], 1e-3) << name << " frame " << t;
        EXPECT_EQ(out.audioSamples, in.audioSamples) << name;
        EXPECT_EQ(out.audioPackets, in.audioPackets) << name;

        std::vector<std::string> header;
        const auto rows = readTable(table, header);
        ASSERT_EQ(rows.size(), in.lumas.size());
        const int mx = column(header, "motion_x"), my = column(header, "motion_y");
        const int cx = column(header, "correction_x"), cy = column(header, "correction_y");
        int moved = 0;
        for (size_t t = 0; t < rows.size(); ++t) {
            // The camera moving right brings the frame back by moving it right.
            EXPECT_EQ(rows[t][mx], shaky.stepX(t)) << "frame " << t;
            EXPECT_EQ(rows[t][my], shaky.stepY(t)) << "frame " << t;
            const int ox = static_cast<int>(rows[t][cx]), oy = static_cast<int>(rows[t][cy]);
            moved += ox != 0 || oy != 0;
            // H.264 at quality 18 leaves a level or two on average, a grain's
            // worth at most; a frame moved wrongly is off by tens everywhere.
            const int tolerance = std::string(codec) == "ffv1" ? 0 : 48;
            double error = 0.0;
            for (int r = 0; r < kHeight; ++r)
                for (int c = 0; c < kWidth; ++c) {
                    const int sr = r - oy, sc = c - ox;
                    const bool covered = sr >= 0 && sr < kHeight && sc >= 0 && sc < kWidth;
                    const int expected = covered ? in.lumas[t][static_cast<size_t>(sr) * kWidth + sc] : 16;
                    const int got = out.lumas[t][static_cast<size_t>(r) * kWidth + c];
                    ASSERT_LE(std::abs(got - expected), tolerance) << name << " frame " << t << " at " << r << "," << c;
                    error += std::abs(got - expected);
                }
            EXPECT_LT(error / (kWidth * kHeight), tolerance == 0 ? 1e-9 : 2.0) << name << " frame " << t;
        }
        EXPECT_GT(moved, 20);
    }
}

TEST(StabilizeCommand, EveryOfferedEncoderRoundTripsOrIsRefusedInOneLine)
{
    const media::ShakyClip shaky = media::shakyClip(kWidth, kHeight, 12, 5);
    const std::string input = scratch("codecs.mkv");
    media::writeClip(input, shaky.clip);
    int roundTrips = 0;
    void* state = nullptr;
    const AVOutputFormat* matroska = av_guess_format("matroska", nullptr, nullptr);
    while (const AVCodec* codec = av_codec_iterate(&state)) {
        if (!av_codec_is_encoder(codec) || codec->type != AVMEDIA_TYPE_VIDEO ||
            avformat_query_codec(matroska, codec->id, FF_COMPLIANCE_NORMAL) != 1 || needsDevice(codec))
            continue;
        const std::string output = scratch(std::string("codec-") + codec->name + ".mkv");
        const media::Run run = media::runProgram(kProgram, {"--quiet", "--codec", codec->name, input, output});
        if (run.status != 0) {
            // An encoder that cannot take this size or this container says so.
            expectOneLineFailure(run, "");
            EXPECT_FALSE(exists(output)) << codec->name;
            continue;
        }
        const media::Contents out = media::readClip(output);
        EXPECT_EQ(out.lumas.size(), shaky.clip.lumas.size()) << codec->name;
        EXPECT_EQ(out.width, kWidth) << codec->name;
        ++roundTrips;
    }
    for (const char* needed : {"libx264", "ffv1"}) {
        const media::Run run = media::runProgram(kProgram, {"--quiet", "--codec", needed, input, scratch("needed.mkv")});
        EXPECT_EQ(run.status, 0) << needed << ": " << run.errors;
    }
    EXPECT_GT(roundTrips, 10);
}

TEST(StabilizeCommand, DashWritesMatroskaToStandardOutput)
{
    const media::ShakyClip shaky = media::shakyClip(kWidth, kHeight, 15, 7);
    const std::string input = scratch("piped.mkv"), piped = scratch("stdout.bin");
    media::writeClip(input, shaky.clip);
    const media::Run run = media::runProgram(kProgram, {"--quiet", input, "-"}, piped);
    ASSERT_EQ(run.status, 0) << run.errors;
    const media::Contents out = media::readClip(piped);
    EXPECT_EQ(out.container, "matroska,webm");
    EXPECT_EQ(out.videoCodec, "h264");
    EXPECT_EQ(out.lumas.size(), shaky.clip.lumas.size());
    EXPECT_EQ(out.audioSamples, media::readClip(input).audioSamples);
}

TEST(StabilizeCommand, EachKindOfTroubleIsOneLineAndLeavesNoCompleteFile)
{
    const media::ShakyClip shaky = media::shakyClip(kWidth, kHeight, 10, 9);
    const std::string good = scratch("good.mkv");
    media::writeClip(good, shaky.clip);
    const std::string text = scratch("notes.mkv");
    std::ofstream(text) << "not a video at all\n";
    const std::string truncated = scratch("truncated.mkv");
    {
        std::ifstream in(good, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream(truncated, std::ios::binary) << bytes.substr(0, 300);
    }
    const std::string audioOnly = scratch("audio-only.mkv");
    media::Clip tone = shaky.clip;
    tone.lumas.clear();
    media::writeClip(audioOnly, tone);
    const std::string out = scratch("out.mkv");
    struct Case {
        std::vector<std::string> arguments;
        std::string says;
        int status;
    };
    const Case cases[] = {
        {{scratch("missing.mkv"), out}, "cannot open " + scratch("missing.mkv") + ": No such file", 1},
        {{text, out}, "cannot open " + text, 1},
        {{truncated, out}, truncated, 1},
        {{audioOnly, out}, audioOnly + " has no video stream", 1},
        {{"--frobnicate", good, out}, "unknown option --frobnicate", 2},
        {{"--lag", "500", good, out}, "--lag: '500' is not from 0 to 120", 2},
        {{"--budget", "nan", good, out}, "--budget: 'nan' is not a number", 2},
        {{"--budget", "40", good, out}, "--budget must be", 2},
        {{good}, "give INPUT and OUTPUT", 2},
        {{"--template-size", "2000", good, out}, "--template-size", 1},
        {{"--codec", "nonesuch", good, out}, "no video encoder named 'nonesuch'", 1},
        {{good, scratch("no/such/folder/out.mkv")}, "cannot write " + scratch("no/such/folder/out.mkv"), 1},
        {{good, scratch("out.unknownext")}, "cannot tell the container", 1},
    };
    for (const Case& c : cases) {
        const media::Run run = media::runProgram(kProgram, c.arguments);
        expectOneLineFailure(run, c.says);
        EXPECT_EQ(run.status, c.status) << run.errors;
        for (const std::string& path : {out, out + ".partial", scratch("no/such/folder/out.mkv")})
            EXPECT_FALSE(exists(path)) << path << " after " << run.errors;
    }
}

TEST(StabilizeCommand, InterruptedRunLeavesAPlayableFileOfTheFramesSoFar)
{
    const media::ShakyClip shaky = media::shakyClip(kWidth, kHeight, 400, 11);
    const std::string input = scratch("long.mkv"), output = scratch("stopped.mp4");
    media::writeClip(input, shaky.clip);
    // Interrupted once the first progress line shows that frames are coming out.
    const media::Run run =
        media::runProgram(kProgram, {"--preset", "veryslow", input, output}, "", 1);
    EXPECT_EQ(run.status, 130) << run.errors;
    EXPECT_NE(run.errors.find("stopped after"), std::string::npos) << run.errors;
    ASSERT_TRUE(exists(output));
    EXPECT_FALSE(exists(output + ".partial"));
    const media::Contents in = media::readClip(input), out = media::readClip(output);
    ASSERT_GT(out.lumas.size(), 0u);
    EXPECT_LT(out.lumas.size(), in.lumas.size());
    for (size_t t = 0; t < out.seconds.size(); ++t)
        EXPECT_NEAR(out.seconds[t], in.seconds[t], 1e-3) << "frame " << t;
}
