#include "convert_job.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "bayer_pattern.h"
#include "bmp_stream.h"
#include "expected_bmp.h"
#include "file_replace.h"
#include "raw_builder.h"
#include "temp_dir.h"

namespace {

Arguments withOptions(int32_t width, int32_t height, int32_t pattern, std::string output = "")
{
    Arguments a;
    a.command = Command::Convert;
    a.width = width;
    a.height = height;
    a.pattern = pattern;
    a.output = std::move(output);
    return a;
}

TEST(PlanJob, NamesTheOutputAsTheWindowDoesEvenWithoutAThreeLetterExtension)
{
    EXPECT_EQ(planJob(withOptions(8, 2, 1), "dir.v2/shot.raw").job.output, "dir.v2/shot.bmp");
    EXPECT_EQ(planJob(withOptions(8, 2, 1), "frame.raw10").job.output, "frame.rabmp");
    EXPECT_EQ(planJob(withOptions(8, 2, 1), "abc").job.output, "bmp");
}

TEST(PlanJob, TakesEachSettingFromItsOptionElseFromTheName)
{
    const JobPlan mixed = planJob(withOptions(600, 0, 4), "shot_640x480_GRBG.raw");
    ASSERT_TRUE(mixed.ok) << mixed.reason;
    EXPECT_EQ(mixed.job.width, 600);
    EXPECT_EQ(mixed.job.height, 480);
    EXPECT_EQ(mixed.job.pattern, 4);
    EXPECT_TRUE(planJob(withOptions(64, 0, 1), "wide_20000x4.raw").ok)
        << "the given width replaces the name's out-of-range one";

    EXPECT_EQ(planJob(withOptions(64, 0, 1), "a_2x2_4x4.raw").reason,
              "height unknown: pass --height, or name the file with one <W>x<H> token (it has 2)");
    EXPECT_EQ(planJob(withOptions(64, 8, 0), "a_RGGB_BGGR.raw").reason,
              "pattern unknown: pass --pattern, or name the file with one of RGGB, GRBG, BGGR, GBRG "
              "as a whole token (it has 2)");
    EXPECT_EQ(planJob(withOptions(0, 8, 1), "thin_20000x1.raw").reason,
              "the name's geometry 20000x1 is outside width 1 to 16384, height 2 to 16384; pass "
              "--width");
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
            const std::string path = dir.file("banded.bmp");
            ReplacingFile out(path);
            std::string reason;
            ASSERT_TRUE(out.open());
            BandFailure failed = BandFailure::Read;
            ASSERT_TRUE(writeBmpInBands(out, MemorySource(packed.data()), frame.width, frame.height,
                                        bayerTablesFor(3), BandPlan{rows, threads}, &reason,
                                        &failed))
                << reason;
            EXPECT_EQ(failed, BandFailure::None);
            ASSERT_TRUE(out.commit()) << out.reason();
            EXPECT_EQ(readFile(path), expected) << rows << " rows per band, " << threads << " threads";
        }
    }
}

class FailingWrite : public ::testing::Test {
protected:
    void TearDown() override { fileReplaceWrite = saved_; }

    // Lets `budget` bytes through, then fails as a full disk does.
    static void failAfter(size_t budget)
    {
        budget_ = budget;
        fileReplaceWrite = [](const void* data, size_t size, std::FILE* file) -> size_t {
            const size_t allowed = size < budget_ ? size : budget_;
            budget_ -= allowed;
            const size_t written = std::fwrite(data, 1, allowed, file);
            if (written < size) {
                errno = ENOSPC;
            }
            return written;
        };
    }

private:
    FileWriteFunction saved_ = fileReplaceWrite;
    static inline size_t budget_ = 0;
};

TEST_F(FailingWrite, LeavesTheOlderBmpAndNoTemporaryBehind)
{
    TempDir dir;
    const RawFrame frame = randomFrame(600, 400, 3);
    writeFile(dir.file("shot.raw"), packFrame(frame));
    const std::vector<uint8_t> older{'o', 'l', 'd'};
    writeFile(dir.file("shot.bmp"), older);

    for (size_t budget : {size_t{0}, size_t{54}, size_t{100000}}) {
        failAfter(budget);
        const JobPlan plan = planJob(withOptions(600, 400, 1), dir.file("shot.raw"));
        ASSERT_TRUE(plan.ok) << plan.reason;
        const JobResult result = runJob(plan.job, {});
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.reason, "output " + dir.file("shot.bmp") + " not writable (" +
                                     std::strerror(ENOSPC) + ")");
        EXPECT_EQ(readFile(dir.file("shot.bmp")), older) << "after " << budget << " bytes";
        EXPECT_FALSE(fileExists(dir.file(temporaryNameFor("shot.bmp"))));
    }
}

}  // namespace
