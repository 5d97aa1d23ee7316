// regviafft-stabilize end to end, on small files the tests write: what comes
// out, what survives damage, and how each kind of trouble is reported.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "job_options.h"
#include "media_files.h"
#include "motion_log.h"
#include "option_edges.h"
#include "regviafft/options.h"
#include "regviafft/record_fields.h"
#include "usage.h"

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;
const std::string kProgram = REGVIAFFT_STABILIZE_PROGRAM;
const std::string kFfmpeg = REGVIAFFT_FFMPEG_PROGRAM;

// A path in a folder of the test's own.
std::string scratch(const std::string& name)
{
    static const std::string folder = [] {
        char pattern[] = "/tmp/regviafft-cli-XXXXXX";
        return std::string(mkdtemp(pattern));
    }();
    return folder + "/" + name;
}

bool exists(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::string bytesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// A shaky clip of the tests' size written to a scratch file of that name.
std::string clipFile(const std::string& name, int frames, unsigned seed, const std::string& codec = "ffv1")
{
    media::ShakyClip shaky = media::shakyClip(kWidth, kHeight, frames, seed);
    shaky.clip.codec = codec;
    media::writeClip(scratch(name), shaky.clip);
    return scratch(name);
}

// A file made by the ffmpeg program, for inputs the tests' own writer does
// not make: a lavfi source, encoder settings, a container.
std::string ffmpegFile(const std::string& name, const std::vector<std::string>& arguments)
{
    std::vector<std::string> all{"-v", "error", "-y"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    all.push_back(scratch(name));
    const media::Run run = media::runProgram(kFfmpeg, all);
    EXPECT_EQ(run.status, 0) << run.errors;
    return scratch(name);
}

// The one line the command writes for a failure.
void expectOneLineFailure(const media::Run& run, const std::string& says)
{
    EXPECT_NE(run.status, 0) << run.errors;
    EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
    EXPECT_EQ(run.errors.rfind("regviafft-stabilize: ", 0), 0u) << run.errors;
    EXPECT_NE(run.errors.find(says), std::string::npos) << run.errors;
}

// The motion table: each column's values by its name.
std::map<std::string, std::vector<std::string>> readCells(const std::string& path)
{
    std::ifstream in(path);
    std::string line, cell;
    std::getline(in, line);
    std::vector<std::string> names;
    for (std::stringstream header(line); std::getline(header, cell, ',');)
        names.push_back(cell);
    std::map<std::string, std::vector<std::string>> columns;
    while (std::getline(in, line)) {
        std::stringstream cells(line + ",");
        for (const std::string& name : names)
            if (std::getline(cells, cell, ','))
                columns[name].push_back(cell);
    }
    return columns;
}

// The numeric columns of a motion table.
std::map<std::string, std::vector<double>> readTable(const std::string& path)
{
    std::map<std::string, std::vector<double>> columns;
    for (const auto& [name, cells] : readCells(path))
        if (name != "template_inliers")
            for (const std::string& cell : cells)
                columns[name].push_back(std::stod(cell));
    return columns;
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
    const media::Contents in = media::readClip(input);
    // Lossless into Matroska, where every pixel is checked; H.264 into MP4;
    // and "-": Matroska on standard output, in the default H.264.
    struct Output {
        std::string name, codec, decoded;
    };
    for (const Output& o : {Output{"steady.mkv", "ffv1", "ffv1"}, Output{"steady.mp4", "libx264", "h264"},
                            Output{"-", "", "h264"}}) {
        const std::string output = scratch(o.name == "-" ? "stdout.bin" : o.name), table = output + ".csv";
        std::vector<std::string> arguments{"--quiet", "--whole-pixel", "--mode", "causal", "--motion", table, input,
                                           o.name == "-" ? "-" : output};
        if (!o.codec.empty())
            arguments.insert(arguments.begin(), {"--codec", o.codec});
        const media::Run run = media::runProgram(kProgram, arguments, o.name == "-" ? output : "");
        ASSERT_EQ(run.status, 0) << run.errors;
        EXPECT_EQ(run.errors, "");
        const media::Contents out = media::readClip(output);
        EXPECT_EQ(out.videoCodec, o.decoded);
        EXPECT_TRUE(o.name != "-" || out.container == "matroska,webm") << out.container;
        ASSERT_EQ(out.lumas.size(), in.lumas.size()) << o.name;
        // Time stamps, variable rate included, and the audio come through.
        for (size_t t = 0; t < in.seconds.size(); ++t)
            EXPECT_NEAR(out.seconds[t], in.seconds[t], 1e-3) << o.name << " frame " << t;
        EXPECT_EQ(out.audioSamples, in.audioSamples) << o.name;
        EXPECT_EQ(out.audioPackets, in.audioPackets) << o.name;

        std::map<std::string, std::vector<double>> rows = readTable(table);
        for (const char* name : {"motion_x", "motion_y", "correction_x", "correction_y"})
            ASSERT_EQ(rows[name].size(), in.lumas.size()) << name;
        int moved = 0;
        for (size_t t = 0; t < in.lumas.size(); ++t) {
            // The camera moving right brings the frame back by moving it
            // right; the measurement refines each template's shift, so a
            // whole-pixel move comes out within a tenth of a pixel.
            EXPECT_NEAR(rows["motion_x"][t], shaky.stepX(t), 0.1) << "frame " << t;
            EXPECT_NEAR(rows["motion_y"][t], shaky.stepY(t), 0.1) << "frame " << t;
            const int ox = static_cast<int>(rows["correction_x"][t]), oy = static_cast<int>(rows["correction_y"][t]);
            moved += ox != 0 || oy != 0;
            // H.264 at quality 18 leaves a level or two on average, a grain's
            // worth at most; a frame moved wrongly is off by tens everywhere.
            const int tolerance = o.codec == "ffv1" ? 0 : 48;
            double error = 0.0;
            for (int r = 0; r < kHeight; ++r)
                for (int c = 0; c < kWidth; ++c) {
                    const int sr = r - oy, sc = c - ox;
                    const bool covered = sr >= 0 && sr < kHeight && sc >= 0 && sc < kWidth;
                    const int expected = covered ? in.lumas[t][static_cast<size_t>(sr) * kWidth + sc] : 16;
                    const int got = out.lumas[t][static_cast<size_t>(r) * kWidth + c];
                    ASSERT_LE(std::abs(got - expected), tolerance) << o.name << " frame " << t << " at " << r << "," << c;
                    error += std::abs(got - expected);
                }
            EXPECT_LT(error / (kWidth * kHeight), tolerance == 0 ? 1e-9 : 2.0) << o.name << " frame " << t;
        }
        EXPECT_GT(moved, 20);
    }
}

TEST(StabilizeCommand, EveryOfferedEncoderRoundTripsOrIsRefusedInOneLine)
{
    const std::string input = clipFile("codecs.mkv", 12, 5);
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
        EXPECT_EQ(out.lumas.size(), 12u) << codec->name;
        EXPECT_EQ(out.width, kWidth) << codec->name;
        ++roundTrips;
    }
    EXPECT_GT(roundTrips, 10);
}

TEST(StabilizeCommand, DamagedInputKeepsEveryFrameThatCanBeDecoded)
{
    // A file cut off mid-frame.
    const std::string whole = bytesOf(clipFile("whole.mkv", 30, 21)), cut = scratch("cut.mkv");
    writeBytes(cut, whole.substr(0, whole.size() * 6 / 10));
    // Motion JPEG, each frame starting with the marker FF D8 FF: wipe the
    // tenth one's headers and the decoder refuses that frame alone.
    std::string jpeg = bytesOf(clipFile("jpeg.mkv", 25, 22, "mjpeg"));
    size_t at = 0;
    for (int frame = 0; frame < 10; ++frame)
        at = jpeg.find("\xFF\xD8\xFF", at + 1);
    ASSERT_NE(at, std::string::npos);
    constexpr size_t kHeaders = 600;  // markers and tables; a frame here is a few kB
    jpeg.replace(at, kHeaders, kHeaders, '\0');
    const std::string damaged = scratch("damaged.mkv");
    writeBytes(damaged, jpeg);
    for (const std::string& input : {cut, damaged}) {
        const std::string output = input + ".out.mkv";
        const media::Run run = media::runProgram(kProgram, {"--codec", "ffv1", input, output});
        EXPECT_EQ(run.status, 0) << run.errors;
        const size_t frames = media::readClip(output).lumas.size();
        EXPECT_EQ(frames, media::readClip(input).lumas.size()) << input;
        if (input == cut) {
            EXPECT_GT(frames, 5u);
            EXPECT_LT(frames, 30u);
        } else {
            EXPECT_EQ(frames, 24u);
            EXPECT_NE(run.errors.find("warning: 1 damaged video packet of " + damaged + " passed over"),
                      std::string::npos) << run.errors;
        }
    }
}

TEST(StabilizeCommand, EachKindOfTroubleIsOneLineAndLeavesNoCompleteFile)
{
    const std::string good = clipFile("good.mkv", 10, 9);
    const std::string text = scratch("notes.mkv"), truncated = scratch("truncated.mkv");
    writeBytes(text, "not a video at all\n");
    writeBytes(truncated, bytesOf(good).substr(0, 300));
    const std::string audioOnly = scratch("audio-only.mkv");
    media::writeClip(audioOnly, media::Clip{});  // a tone and no frames
    // Two MPEG transport streams one after the other are one stream whose
    // frames grow at the join.
    const std::string joined = scratch("joined.ts");
    std::string joinedBytes;
    for (const auto& [width, height] : {std::pair{160, 120}, std::pair{192, 144}}) {
        media::ShakyClip part = media::shakyClip(width, height, 10, static_cast<unsigned>(width));
        part.clip.codec = "libx264";
        part.clip.container = "mpegts";
        part.clip.audio = false;
        media::writeClip(joined, part.clip);
        joinedBytes += bytesOf(joined);
    }
    writeBytes(joined, joinedBytes);
    ASSERT_EQ(media::readClip(joined).lumas.size(), 20u);
    // A header claiming 8000x8000 frames and the start of the one frame.
    const std::string flat = ffmpegFile("flat-8000.mkv", {"-f", "lavfi", "-i", "color=c=gray:size=8000x8000",
                                                          "-frames:v", "1", "-c:v", "mjpeg"});
    const std::string noFrame = scratch("no-frame.mkv");
    writeBytes(noFrame, bytesOf(flat).substr(0, 3000));
    const std::string tiny = ffmpegFile("tiny.mkv", {"-f", "lavfi", "-i", "color=c=red:size=2x2:rate=25", "-vf",
                                                     "scale=1:1", "-frames:v", "5", "-c:v", "ffv1"});
    // Outputs that are there already: one under another name of the input,
    // one of the user's that no run may replace without being told to.
    const std::string sameInode = scratch("good-linked.mkv"), sameAsTable = scratch("good-linked.csv");
    const std::string existing = scratch("existing.mkv"), existingTable = scratch("existing.csv");
    ASSERT_EQ(link(good.c_str(), sameInode.c_str()), 0);
    ASSERT_EQ(link(good.c_str(), sameAsTable.c_str()), 0);
    writeBytes(existing, "the user's own file");
    writeBytes(existingTable, "the user's own file");
    const std::string goodBytes = bytesOf(good);
    const std::string missing = scratch("missing.mkv"), out = scratch("out.mkv");
    struct Case {
        std::vector<std::string> arguments;
        std::string says;
        int status;
        long fileSizeLimit = 0;  // as on a disk that fills
        std::string stdoutPath = "";
    };
    const Case cases[] = {
        {{scratch("missing.mkv"), out}, "cannot open " + scratch("missing.mkv") + ": No such file", 1},
        {{text, out}, "cannot open " + text, 1},
        {{truncated, out}, truncated, 1},
        {{audioOnly, out}, audioOnly + " has no video stream", 1},
        {{joined, out}, "the frame size changes from 160x120 to 192x144 at frame 10", 1},
        {{"--frobnicate", good, out}, "unknown option --frobnicate", 2},
        {{"--lag", "500", good, out}, "--lag: must be a whole number from 0 to 120, got 500", 2},
        {{"--budget", "nan", good, out}, "--budget: must be a number from 0 to 25, got nan", 2},
        {{"--mode=sideways", good, out}, "--mode: must be one of design, causal, lag, got 'sideways'", 2},
        {{good}, "give INPUT and OUTPUT", 2},
        // Refused by the stabiliser once the frame size is known, still by its option.
        {{"--template-size", "2000", good, out}, "--template-size: must be a whole number from 1 to 160, got 2000", 1},
        {{"--codec", "nonesuch", good, out}, "no video encoder named 'nonesuch'", 1},
        {{good, scratch("no/such/folder/out.mkv")}, "cannot write " + scratch("no/such/folder/out.mkv"), 1},
        {{good, scratch("out.unknownext")}, "cannot tell the container", 1},
        {{"--quiet", "--codec", "ffv1", good, out}, "cannot write " + out + ": File too large", 1, 20000},
        {{"--quiet", good, "-"}, "No space left on device", 1, 0, "/dev/full"},
        {{noFrame, out}, noFrame + ": no frame of its video could be decoded", 1},
        {{tiny, out}, tiny + ": its 1x1 frames are too small to measure motion in; set the template size yourself", 1},
        // Encoder settings and output names are refused before the input is
        // even opened (here it is missing, which would be said otherwise).
        {{"--preset", "warp", missing, out}, "--preset: the libx264 encoder has no preset 'warp' (ultrafast,", 1},
        {{"--codec", "libx265", "--preset", "Medium", missing, out}, "--preset: the libx265 encoder has no preset", 1},
        {{"--motion", "/nonexistent/m.csv", missing, out}, "cannot write /nonexistent/m.csv: No such file", 1},
        {{"--plot", "/nonexistent/p.png", missing, out}, "cannot write /nonexistent/p.png: No such file", 1},
        {{"--plot", scratch("p.gif"), missing, out}, "--plot: must end in one of .png, .jpg", 1},
        {{"--motion", scratch("m.txt"), missing, out}, "--motion: must end in .csv or .json, got", 1},
        {{good, good}, good + " is the input itself", 1},
        {{"-y", good, sameInode}, sameInode + " is the input itself", 1},
        {{"-y", "--motion", sameAsTable, good, out}, sameAsTable + " is the input itself", 1},
        {{"--motion", scratch("both.csv"), good, scratch("both.csv")}, scratch("both.csv") + " is named for two outputs", 1},
        {{good, existing}, existing + " exists; give -y (--overwrite) to replace it", 1},
        {{"--motion", existingTable, good, out}, existingTable + " exists; give -y (--overwrite) to replace it", 1},
        {{"-x", good, out}, "unknown option -x", 2},
    };
    for (const Case& c : cases) {
        const media::Run run = media::runProgram(kProgram, c.arguments, c.stdoutPath, 0, c.fileSizeLimit);
        expectOneLineFailure(run, c.says);
        EXPECT_EQ(run.status, c.status) << run.errors;
        for (const std::string& path : {out, out + ".partial", scratch("no/such/folder/out.mkv")})
            EXPECT_FALSE(exists(path)) << path << " after " << run.errors;
        EXPECT_EQ(bytesOf(good), goodBytes) << run.errors;
        for (const std::string& path : {existing, existingTable})
            EXPECT_EQ(bytesOf(path), "the user's own file") << run.errors;
    }
}

TEST(StabilizeCommand, StandardInputIsReadLikeAFile)
{
    const media::ShakyClip shaky = media::shakyClip(kWidth, kHeight, 20, 33);
    const std::string input = scratch("piped-in.mkv");
    media::writeClip(input, shaky.clip);
    const media::Contents in = media::readClip(input);
    // From standard input to a file, and from a pipe to a pipe.
    for (const std::string& output : {scratch("from-stdin.mkv"), std::string("-")}) {
        const std::string written = output == "-" ? scratch("stdin-to-stdout.mkv") : output;
        const media::Run run = media::runProgram(kProgram, {"--quiet", "--codec", "ffv1", "-", output},
                                                 output == "-" ? written : "", 0, 0, input);
        ASSERT_EQ(run.status, 0) << run.errors;
        const media::Contents out = media::readClip(written);
        ASSERT_EQ(out.lumas.size(), in.lumas.size()) << output;
        for (size_t t = 0; t < in.seconds.size(); ++t)
            EXPECT_NEAR(out.seconds[t], in.seconds[t], 1e-3) << output << " frame " << t;
        EXPECT_EQ(out.audioSamples, in.audioSamples) << output;
    }
}

namespace {

// Mean absolute difference of two columns (or, transposed, rows) of a frame.
double columnDifference(const media::Plane& luma, int width, int height, int a, int b)
{
    double sum = 0.0;
    for (int r = 0; r < height; ++r)
        sum += std::abs(luma[static_cast<size_t>(r) * width + a] - luma[static_cast<size_t>(r) * width + b]);
    return sum / height;
}

double rowDifference(const media::Plane& luma, int width, int a, int b)
{
    double sum = 0.0;
    for (int c = 0; c < width; ++c)
        sum += std::abs(luma[static_cast<size_t>(a) * width + c] - luma[static_cast<size_t>(b) * width + c]);
    return sum / width;
}

}  // namespace

TEST(StabilizeCommand, OddSidesArePaddedByRepeatingTheLastColumnAndRowWhereTheEncoderNeedsEvenOnes)
{
    constexpr int kOddWidth = 161, kOddHeight = 121;
    media::ShakyClip shaky = media::shakyClip(kOddWidth, kOddHeight, 12, 35);
    const std::string input = scratch("odd.mkv");
    media::writeClip(input, shaky.clip);
    // H.264 in 4:2:0 takes even sides only: one more column and row, copies.
    const std::string padded = scratch("odd.mp4");
    const media::Run run = media::runProgram(kProgram, {"--mode", "causal", input, padded});
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.errors.find("warning: the encoder takes even sides only, so the 161x121 frames are written as "
                              "162x122"), std::string::npos) << run.errors;
    const media::Contents out = media::readClip(padded);
    ASSERT_EQ(out.lumas.size(), 12u);
    ASSERT_EQ(out.width, kOddWidth + 1);
    ASSERT_EQ(out.lumas[0].size(), static_cast<size_t>(kOddWidth + 1) * (kOddHeight + 1));
    for (size_t t = 0; t < out.lumas.size(); ++t) {
        // A copied column survives H.264 within a level or two; neighbours in
        // the grainy scene differ by tens.
        const media::Plane& luma = out.lumas[t];
        EXPECT_LT(columnDifference(luma, kOddWidth + 1, kOddHeight + 1, kOddWidth, kOddWidth - 1), 3.0) << t;
        EXPECT_LT(rowDifference(luma, kOddWidth + 1, kOddHeight, kOddHeight - 1), 3.0) << t;
        EXPECT_GT(columnDifference(luma, kOddWidth + 1, kOddHeight + 1, kOddWidth - 1, kOddWidth - 2), 6.0) << t;
    }
    // A lossless encoder that takes odd sides keeps them.
    const std::string kept = scratch("odd-kept.mkv");
    const media::Run lossless = media::runProgram(kProgram, {"--codec", "ffv1", input, kept});
    ASSERT_EQ(lossless.status, 0) << lossless.errors;
    EXPECT_EQ(lossless.errors.find("warning"), std::string::npos) << lossless.errors;
    EXPECT_EQ(media::readClip(kept).width, kOddWidth);
    // The smallest video there is, with templates the user chose for it.
    const std::string tiny = ffmpegFile("one-pixel.mkv", {"-f", "lavfi", "-i", "color=c=red:size=2x2:rate=25", "-vf",
                                                          "scale=1:1", "-frames:v", "5", "-c:v", "ffv1"});
    const std::string tinyOut = scratch("one-pixel.mp4");
    const media::Run smallest = media::runProgram(kProgram, {"--quiet", "--template-size", "1", tiny, tinyOut});
    ASSERT_EQ(smallest.status, 0) << smallest.errors;
    EXPECT_EQ(media::readClip(tinyOut).lumas.size(), 5u);
    EXPECT_EQ(media::readClip(tinyOut).width, 2);
}

TEST(StabilizeCommand, AFrameWithoutATimeStampGetsOneFromItsNeighbours)
{
    // MPEG-4 with B-frames in AVI: the last frame decodes without a stamp.
    const std::string input = ffmpegFile("b-frames.avi", {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25",
                                                          "-frames:v", "25", "-c:v", "mpeg4", "-bf", "2"});
    const media::Contents in = media::readClip(input);
    ASSERT_EQ(in.seconds.size(), 25u);
    ASSERT_LT(in.seconds.back(), 0.0) << "the input's last frame is meant to come without a stamp";
    const std::string table = scratch("b-frames.csv"), output = scratch("b-frames.mkv");
    const media::Run run = media::runProgram(kProgram, {"--quiet", "--codec", "ffv1", "--motion", table,
                                                        "--plot", scratch("b-frames.png"), input, output});
    ASSERT_EQ(run.status, 0) << run.errors;
    const std::vector<double> times = readTable(table)["time"];
    ASSERT_EQ(times.size(), 25u);
    // 25 frames a second, as the input's stamps say: every frame 0.04 s
    // after the one before, the last one's time taken from its neighbour.
    for (size_t t = 0; t < times.size(); ++t)
        EXPECT_NEAR(times[t], in.seconds[0] + 0.04 * static_cast<double>(t), 1e-6) << "frame " << t;
    const media::Contents out = media::readClip(output);
    ASSERT_EQ(out.seconds.size(), 25u);
    EXPECT_NEAR(out.seconds.back(), in.seconds[23] + 0.04, 1e-3);
}

TEST(StabilizeCommand, ThePlotIsWrittenInEveryImageFormatItsNameMayEndIn)
{
    // The first bytes of each format; an ending offered without one here fails.
    const std::map<std::string, std::string> signatures{
        {".png", "\x89PNG"}, {".jpg", "\xFF\xD8\xFF"}, {".jpeg", "\xFF\xD8\xFF"}, {".bmp", "BM"},
        {".tif", "II*"},     {".tiff", "II*"},       {".webp", "RIFF"}};
    const std::string input = clipFile("plotted.mkv", 6, 37);
    std::istringstream endings(video::plotEndings());
    int formats = 0;
    for (std::string ending; std::getline(endings >> std::ws, ending, ',');) {
        const std::string plot = scratch("plot" + ending);
        const media::Run run = media::runProgram(
            kProgram, {"--quiet", "-y", "--codec", "ffv1", "--plot", plot, input, scratch("plotted-out.mkv")});
        ASSERT_EQ(run.status, 0) << ending << ": " << run.errors;
        ASSERT_TRUE(signatures.count(ending)) << ending;
        EXPECT_EQ(bytesOf(plot).substr(0, signatures.at(ending).size()), signatures.at(ending)) << ending;
        ++formats;
    }
    // PNG and JPEG at the least: the image library's own writers.
    EXPECT_GE(formats, 3);
    EXPECT_NE(video::plotEndings().find(".png"), std::string::npos);
    EXPECT_NE(video::plotEndings().find(".jpg"), std::string::npos);
}

TEST(StabilizeCommand, InterruptedRunLeavesAPlayableFileOfTheFramesSoFar)
{
    const std::string input = clipFile("long.mkv", 400, 11), output = scratch("stopped.mp4");
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

namespace {

// Text with every run of white space made one space.
std::string oneSpaced(const std::string& text)
{
    std::istringstream words(text);
    std::string joined, word;
    while (words >> word)
        joined += (joined.empty() ? "" : " ") + word;
    return joined;
}

// Each option of a table at its edges: accepted (with --help, which stops
// before any file is read) and refused by its --name.
template <typename Target>
void expectEdgesOnTheCommandLine(const regviafft::OptionTable<Target>& table)
{
    for (const regviafft::Option<Target>& option : table) {
        if (option.rule.kind == regviafft::OptionKind::Switch)
            continue;  // a switch takes no value
        const std::string flag = std::string("--") + option.name;
        const option_edges::Edges edges = option_edges::edgesOf(option.rule);
        for (const std::string& text : edges.accepted) {
            const media::Run run = media::runProgram(kProgram, {flag, text, "--help"}, scratch("help.txt"));
            EXPECT_EQ(run.status, 0) << flag << " " << text << ": " << run.errors;
        }
        for (const std::string& text : edges.refused) {
            const media::Run run = media::runProgram(kProgram, {flag + "=" + text, "in.mkv", "out.mkv"});
            expectOneLineFailure(run, "regviafft-stabilize: " + flag + ": must be ");
            EXPECT_EQ(run.status, 2) << flag << " " << text;
        }
    }
}

std::vector<std::string> recordFieldNames()
{
    std::vector<std::string> names;
    for (const regviafft::RecordField& field : regviafft::recordFields())
        names.push_back(field.name());
    return names;
}

}  // namespace

TEST(StabilizeCommand, EveryOptionTakesItsEdgesAndRefusesJustBeyondByItsFlag)
{
    expectEdgesOnTheCommandLine(regviafft::settingsOptions());
    expectEdgesOnTheCommandLine(video::jobOptions());
}

TEST(StabilizeCommand, MotionTablesNameTheRecordFieldsInOrderAfterTheTime)
{
    const std::string input = clipFile("fields.mkv", 8, 13);
    std::vector<std::string> expected = recordFieldNames();
    expected.insert(expected.begin(), "time");
    const std::string output = scratch("fields-out.mkv");
    // Both tables replace files of the user's, by the short and the long form.
    for (const auto& [ending, overwrite] : {std::pair{".csv", "-y"}, std::pair{".json", "--overwrite"}}) {
        const std::string table = scratch(std::string("fields") + ending);
        writeBytes(output, "old");
        writeBytes(table, "old");
        const media::Run run =
            media::runProgram(kProgram, {"--quiet", overwrite, "--codec", "ffv1", "--motion", table, input, output});
        ASSERT_EQ(run.status, 0) << overwrite << ": " << run.errors;
        EXPECT_EQ(media::readClip(output).lumas.size(), 8u) << overwrite;
        const std::string text = bytesOf(table);
        std::vector<std::string> names;
        if (std::string(ending) == ".csv") {
            std::stringstream header(text.substr(0, text.find('\n')));
            for (std::string cell; std::getline(header, cell, ',');)
                names.push_back(cell);
            EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 9) << text;
            // The last column flags each template that agrees, as many as `inliers` counts.
            ASSERT_EQ(names.back(), "template_inliers");
            names.pop_back();
            const std::map<std::string, std::vector<std::string>> rows = readCells(table);
            for (size_t t = 0; t < rows.at("template_inliers").size(); ++t) {
                const std::string& flags = rows.at("template_inliers")[t];
                EXPECT_EQ(flags.size(), std::stoul(rows.at("template_count")[t])) << "frame " << t;
                EXPECT_EQ(std::count(flags.begin(), flags.end(), '1'), std::stol(rows.at("inliers")[t])) << t;
                EXPECT_EQ(flags.find_first_not_of("01"), std::string::npos) << flags;
            }
        } else {
            // The record's fields, then its templates with the template fields.
            const std::string first = text.substr(0, text.find("\"templates\""));
            for (size_t at = first.find('"'); at != std::string::npos; at = first.find('"', first.find('"', at + 1) + 1))
                names.push_back(first.substr(at + 1, first.find('"', at + 1) - at - 1));
            const std::string firstTemplate = text.substr(text.find("\"templates\": [{"), text.find('}', text.find("\"templates\"")));
            for (const regviafft::TemplateField& field : regviafft::templateFields())
                EXPECT_NE(firstTemplate.find(std::string("\"") + field.name() + "\": "), std::string::npos) << firstTemplate;
            const long templates = std::count(text.begin(), text.end(), '{') - 8;
            EXPECT_EQ(templates % 8, 0) << "every frame keeps its templates here";
            EXPECT_GT(templates, 0);
            EXPECT_NE(first.find("\"analysed\": true"), std::string::npos) << first;
        }
        EXPECT_EQ(names, expected) << ending;
    }
}

TEST(StabilizeCommand, HelpAndManualPageSayWhatTheOptionTablesSay)
{
    const media::Run help = media::runProgram(kProgram, {"--help"}, scratch("help-again.txt"));
    ASSERT_EQ(help.status, 0);
    const std::string helpText = oneSpaced(bytesOf(scratch("help-again.txt")));
    // The page as a reader sees it, without hyphenation; troff's warnings
    // (a bad request, an unescaped character) fail it.
    const media::Run render = media::runProgram(
        REGVIAFFT_GROFF_PROGRAM, {"-man", "-Tascii", "-P-cbou", "-rHY=0", "-ww", REGVIAFFT_MAN_PAGE},
        scratch("manual.txt"));
    ASSERT_EQ(render.status, 0) << render.errors;
    EXPECT_EQ(render.errors, "");
    const std::string manual = oneSpaced(bytesOf(scratch("manual.txt")));
    int entries = 0;
    for (const stabilize::UsageSection& section : stabilize::usageSections())
        for (const stabilize::UsageEntry& entry : section.entries) {
            const std::string said = entry.flags + " " + oneSpaced(entry.text);
            EXPECT_NE(helpText.find(said), std::string::npos) << said;
            EXPECT_NE(manual.find(said), std::string::npos) << said;
            for (const regviafft::OptionChoice& choice : entry.choices)
                EXPECT_NE(manual.find(std::string(choice.name) + " " + choice.help), std::string::npos) << choice.name;
            ++entries;
        }
    EXPECT_EQ(entries, static_cast<int>(regviafft::settingsOptions().size() + video::jobOptions().size() + 1));
    // The defaults shown are those the program runs with.
    for (const char* shown : {"(default: lag)", "from 0 to 120; default: 30)", "from 0 to 25; default: 5)",
                              "from 0 to 63; default: 18)"})
        EXPECT_NE(helpText.find(shown), std::string::npos) << shown;
    EXPECT_NE(manual.find("-y, --overwrite"), std::string::npos);
    EXPECT_NE(manual.find("130 stopped by Ctrl-C"), std::string::npos);
}
