// The converter as scripts see it: a process, its files, its output and its
// exit status; and its banded BMP writer in process.
#include "arguments.h"
#include "bayer_pattern.h"
#include "bmp_stream.h"
#include "bmp_format.h"
#include "bmp_writer.h"
#include "conversion_settings.h"
#include "converter_process.h"
#include "file_replace.h"
#include "image_buffer.h"
#include "raw_file.h"

namespace {

// Each BMP against the picture built from the known samples and against the
// window's own load and save of the same file, for every pattern.
TEST(Converter, GivesTheKnownSamplesPictureAndTheWindowsSaveBytes)
{
    // Width, height, and bytes past the frame, which the window ignores and
    // so must the converter.
    const int32_t sizes[][3] = {{1000, 600, 0}, {7, 5, 3},                 // padded widths, odd height
                                {3000, 2001, 0},                           // big enough for several threads
                                {1, 2, 0}, {16384, 2, 0}, {1, 16384, 0}};  // each bound of the geometry
    TempDir dir;
    for (size_t i = 0; i < std::size(sizes); ++i) {
        const auto [width, height, extraBytes] = sizes[i];
        const int32_t p = static_cast<int32_t>(i % 4) + 1;
        const RawFrame frame = randomFrame(width, height, static_cast<uint32_t>(i));
        std::vector<uint8_t> raw = packFrame(frame);
        raw.resize(raw.size() + static_cast<size_t>(extraBytes), 0xA5);
        writeFile(dir.file("in.raw"), raw);
        m_nWidth = width;
        m_nHeight = height;
        m_nBayerType = p;
        updateBayerType();
        ASSERT_EQ(CDIBBitmap_load(nullptr, dir.file("in.raw").c_str()), 1);
        ASSERT_EQ(CDIBBitmap_save(dir.file("window.bmp").c_str()), 1);
        CDIBBitmap_clear();

        const std::string w = std::to_string(width), h = std::to_string(height);
        EXPECT_EQ(runConverter({"--width", w, "--height", h, "--pattern", bayerTypeName(p), "in.raw"}, dir.path()),
                  (ConverterRun{0, "in.raw -> in.bmp " + std::to_string(frame.alignedWidth / 2) + "x" +
                                       std::to_string(height / 2) + "\n", ""}));
        const std::vector<uint8_t> bmp = readFile(dir.file("in.bmp"));
        EXPECT_EQ(bmp, expectedBmp(frame, bayerTypeName(p))) << w << "x" << h;
        EXPECT_EQ(bmp, readFile(dir.file("window.bmp"))) << w << "x" << h;
    }
}

// Band boundaries are where a streamed picture can go wrong: a band taken from
// the wrong raw rows, written out of order, or a last short band.
TEST(WriteBmpInBands, GivesTheWholePictureForAnyBandSizeAndThreadCount)
{
    TempDir dir;
    const RawFrame frame = randomFrame(29, 23, 7);  // odd: padded columns, unpaired last row
    const std::vector<uint8_t> packed = packFrame(frame);
    const std::vector<uint8_t> expected = expectedBmp(frame, "BGGR");
    for (int32_t rows : {1, 2, 3, 5, 11, 12}) {
        for (unsigned threads : {1u, 2u, 3u, 8u}) {
            ReplacingFile out(dir.file("banded.bmp"));
            ASSERT_TRUE(out.open());
            std::string reason;
            BandFailure failed = BandFailure::None;
            const FrameGeometry geometry{RawLayout::Qcom10, frame.width, frame.height,
                                         minimumRowBytes(RawLayout::Qcom10, frame.width), 0, frame.height};
            ASSERT_TRUE(writeBmpInBands(out, MemorySource(packed.data()), geometry, 0, cellLayoutFor(3),
                                        BandPlan{rows, threads}, &reason, &failed))
                << reason;
            ASSERT_TRUE(out.commit()) << out.reason();
            EXPECT_EQ(readFile(dir.file("banded.bmp")), expected) << rows << " rows per band, " << threads << " threads";
        }
    }
}

// Settings come only from exactly one whole token of the file's own name; an
// input they stay unknown for fails alone, saying what to pass. The output is
// the input with its last three characters replaced, as the window names it.
TEST(Converter, TakesEachInputsSettingsFromItsNameInOneMixedBatch)
{
    TempDir dir;
    const auto a = writeDump(dir.file("a_24x8_RGGB.raw"), 24, 8, "RGGB", 1);
    const auto b = writeDump(dir.file("b-30X6-gbrg.raw10"), 30, 6, "GBRG", 2);
    const auto c = writeDump(dir.file("c_12x4.raw"), 12, 4, "BGGR", 3);
    writeFile(dir.file("d_2x2_4x4_RGGB_bggr.raw"), readFile(dir.file("c_12x4.raw")));
    writeFile(dir.file("e_4294967297x00004_RGGB.raw"), readFile(dir.file("c_12x4.raw")));  // 2^32 + 1 must not wrap
    // "x" inside a word, a pattern glued to letters or digits, and the folders'
    // tokens are not the file's settings.
    std::filesystem::create_directory(dir.file("12x4_GRBG"));
    writeFile(dir.file("12x4_GRBG/box2x_xRGGB_RGGB10_12x.raw"), readFile(dir.file("c_12x4.raw")));
    const std::string size = "width and height unknown: pass --width and --height, or name the file with one <W>x<H> "
                             "token", pattern = "pattern unknown: pass --pattern, or name the file with one of RGGB, "
                                                "GRBG, BGGR, GBRG as a whole token",
                      more = " (its name gives more than one)", fits = "; its 64 bytes fit none of the common sensor geometries";
    EXPECT_EQ(runConverter({"a_24x8_RGGB.raw", "c_12x4.raw", "d_2x2_4x4_RGGB_bggr.raw", "e_4294967297x00004_RGGB.raw",
                            "12x4_GRBG/box2x_xRGGB_RGGB10_12x.raw", "b-30X6-gbrg.raw10"},
                           dir.path()),
              (ConverterRun{1, "a_24x8_RGGB.raw -> a_24x8_RGGB.bmp 12x4\nb-30X6-gbrg.raw10 -> b-30X6-gbrg.bmp 15x3\n",
                            failed("c_12x4.raw", pattern) +
                                failed("d_2x2_4x4_RGGB_bggr.raw", size + more + "; " + pattern + more + fits) +
                                failed("e_4294967297x00004_RGGB.raw", "the name's geometry 4294967297x4 is outside "
                                       "width 1 to 16384, height 2 to 16384; pass --width and --height") +
                                failed("12x4_GRBG/box2x_xRGGB_RGGB10_12x.raw", size + "; " + pattern + fits) +
                                "pixmora-convert: 4 of 6 inputs failed\n"}));
    EXPECT_EQ(readFile(dir.file("a_24x8_RGGB.bmp")), a);
    EXPECT_EQ(readFile(dir.file("b-30X6-gbrg.bmp")), b);
    EXPECT_EQ(filesIn(dir.path()).size(), 9u) << "no BMP for a failed input";

    // A given option applies to every input, over the names' own settings, and
    // to that setting alone: the geometry still comes from the name.
    EXPECT_EQ(runConverter({"-q", "--pattern", "BGGR", "c_12x4.raw", "a_24x8_RGGB.raw"}, dir.path()),
              (ConverterRun{0, "", ""}));
    EXPECT_EQ(readFile(dir.file("c_12x4.bmp")), c);
    EXPECT_NE(readFile(dir.file("a_24x8_RGGB.bmp")), a);
}

ConverterRun usageError(const std::string& reason)
{
    return {2, "", "pixmora-convert: " + reason + "\nTry 'pixmora-convert --help' for usage.\n"};
}

// Help and version on stdout; a bad command line refused with status 2 and its
// reason on stderr; none of them writes a file.
TEST(Converter, AnswersHelpVersionAndBadCommandLinesWithoutWritingAFile)
{
    TempDir dir;
    writeDump(dir.file("ok.raw"), 12, 4, "RGGB", 7);
    const std::set<std::string> before = filesIn(dir.path());
    const struct {
        std::vector<std::string> args;  // after k12x4
        ConverterRun run;
    } cases[] = {
        {{"ok.raw", "--help", "--bogus"}, {0, usageText(), ""}},
        {{"ok.raw", "--version"}, {0, "pixmora-convert " PIXMORA_VERSION "\n", ""}},
        {{"ok.raw", "--colour"}, usageError("unknown option '--colour'")},
        {{"ok.raw", "--width"}, usageError("--width needs a value")},
        {{"--output=", "ok.raw"}, usageError("--output needs a file name")},
        {{"--width", "12x", "ok.raw"}, usageError("--width '12x' is not a whole number from 1 to 16384")},
        // 2^32 + 12 must not wrap round to 12.
        {{"--width", "4294967308", "ok.raw"}, usageError("--width '4294967308' is not a whole number from 1 to 16384")},
        {{"--width=0", "ok.raw"}, usageError("--width '0' is not a whole number from 1 to 16384")},
        {{"--width=16385", "ok.raw"}, usageError("--width '16385' is not a whole number from 1 to 16384")},
        {{"--height", "1", "ok.raw"}, usageError("--height '1' is not a whole number from 2 to 16384")},
        {{"--height", "16385", "ok.raw"}, usageError("--height '16385' is not a whole number from 2 to 16384")},
        {{"--pattern", "RGB", "ok.raw"}, usageError("--pattern 'RGB' is not one of RGGB, GRBG, BGGR, GBRG")},
        {{"--output", "o.bmp", "ok.raw", "ok.raw"},
         usageError("--output names the file for a single input, but 2 inputs were given")},
        {{}, usageError("no input file given")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(runConverter(with(k12x4, c.args), dir.path()), c.run);
        EXPECT_EQ(filesIn(dir.path()), before) << c.run;
    }
}

#if !defined(_WIN32)
// A pipe has no size to ask for and gives its bytes once: it is read whole.
TEST(Converter, ReadsADumpFromAPipe)
{
    TempDir dir;
    const auto bmp = writeDump(dir.file("in.raw"), 60, 20, "RGGB", 8);
    EXPECT_EQ(runConverter(with(k12x4, {"--width=60", "--height=20", "--output", "p.bmp", "/dev/stdin"}), dir.path(),
                           "in.raw"),
              (ConverterRun{0, "/dev/stdin -> p.bmp 30x10\n", ""}));
    EXPECT_EQ(readFile(dir.file("p.bmp")), bmp);
}
#endif

}  // namespace
