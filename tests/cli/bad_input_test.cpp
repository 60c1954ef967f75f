// What the converter does with the inputs a capture session really produces:
// missing, empty and cut dumps, folders, names it cannot use, outputs in the
// way, long and foreign names, a full disk and memory that runs out. Each case:
// the exact message, the exit status, and the files there before and after.
#include "conversion_settings.h"
#include "convert_job.h"
#include "converter_process.h"
#include "file_replace.h"
#include "memory_cap.h"

namespace {

// A job as planning makes it for a tightly packed qcom10 dump in RGGB.
Job qcom10Job(const std::string& input, const std::string& output, int32_t width, int32_t height)
{
    Job job;
    job.input = input;
    job.output = output;
    job.frame = {RawLayout::Qcom10, width, height, minimumRowBytes(RawLayout::Qcom10, width), 0, height};
    job.pattern = 1;
    return job;
}


// One batch of every failure between two good dumps: the others still
// convert, and no file is made or touched for a failure. Eleven inputs, as
// long as a batch that shows a progress line on a terminal: stderr captured
// to a file must hold the failures alone.
TEST(BadInput, ABatchConvertsTheRestAroundFailedInputsAndLeavesNoFileForThem)
{
    TempDir dir;
    const auto first = writeDump(dir.file("first.raw"), 12, 4, "RGGB", 1);
    const std::vector<uint8_t> whole = readFile(dir.file("first.raw"));  // 64 bytes, 16 a row
    writeFile(dir.file("empty.raw"), {});
    writeFile(dir.file("byte.raw"), std::vector<uint8_t>(whole.begin(), whole.end() - 1));
    writeFile(dir.file("row.raw"), std::vector<uint8_t>(whole.begin(), whole.end() - 16));
    std::filesystem::create_directory(dir.file("folder.raw"));
    std::filesystem::create_directory(dir.file("blocked.bmp"));  // a folder is never replaced
    // The file at first.bmp's usual temporary name is a user's: another free
    // name is used. a.bmp is a dump whose name ends in "bmp", given as ./a.bmp.
    const std::string untouched[] = {"ab", "blocked.raw", "blocked.bmp/inside", "a.raw", "a.bmp",
                                     temporaryNameFor("first.bmp")};
    for (const std::string& name : untouched) {
        writeFile(dir.file(name), whole);
    }
    writeFile(dir.file("first.bmp"), {'o', 'l', 'd'});
    const auto last = writeDump(dir.file("last.raw"), 12, 4, "RGGB", 2);
    std::set<std::string> files = filesIn(dir.path());

    // The system's own words: Windows refuses to open a folder as a file.
#if defined(_WIN32)
    const int folderError = EACCES;
#else
    const int folderError = EISDIR;
#endif
    const std::string overwrite = " is an input file; refusing to overwrite it (pass --output)";
    EXPECT_EQ(runConverter(with(k12x4, {"first.raw", "missing.raw", "empty.raw", "byte.raw", "row.raw", "folder.raw",
                                        "blocked.raw", "a.raw", "./a.bmp", "last.raw"}),
                           dir.path()),
              (ConverterRun{1, "first.raw -> first.bmp 6x2\nlast.raw -> last.bmp 6x2\n",
                            failed("missing.raw", "cannot open (" + systemText(ENOENT) + ")") +
                                failed("empty.raw", "too short (has 0 bytes; 12 x 4 needs 64)") +
                                failed("byte.raw", "too short (has 63 bytes; 12 x 4 needs 64)") +
                                failed("row.raw", "too short (has 48 bytes; 12 x 4 needs 64)") +
                                failed("folder.raw", "cannot open (" + systemText(folderError) + ")") +
                                failed("blocked.raw", "output blocked.bmp not writable (" + systemText(EISDIR) + ")") +
                                failed("a.raw", "output a.bmp" + overwrite) +
                                failed("./a.bmp", "output ./a.bmp" + overwrite) +
                                "pixmora-convert: 8 of 10 inputs failed\n"}));
    EXPECT_EQ(readFile(dir.file("first.bmp")), first);
    EXPECT_EQ(readFile(dir.file("last.bmp")), last);
    for (const std::string& name : untouched) {
        EXPECT_EQ(readFile(dir.file(name)), whole) << name;
    }
    files.insert("last.bmp");
    EXPECT_EQ(filesIn(dir.path()), files);

    EXPECT_EQ(runConverter(with(k12x4, {"--output", "no/a.bmp", "a.raw"}), dir.path()),
              (ConverterRun{1, "", failed("a.raw", "output no/a.bmp not writable (" + systemText(ENOENT) + ")")}));
    EXPECT_EQ(filesIn(dir.path()), files);
}

// Relative names of 259, 260 and 300 characters, through folders so that no
// single name passes a file system's limit, and names with spaces and a
// character outside ASCII (0xE9, e acute in the Western code page, a valid
// name byte on Linux too). Narrow Windows paths hold at most 259 characters:
// there the longer BMP names are refused, which is reported, leaving no file.
TEST(BadInput, LongAndForeignNamesConvertNextToTheDump)
{
    TempDir dir;
    const std::string folders = std::string(100, 'd') + "/" + std::string(100, 'e') + "/";
    std::filesystem::create_directories(dir.file(folders));
    std::vector<std::string> names = {"caf\xE9 shot_12x4_RGGB.raw", "two  spaces_12x4_RGGB.raw"};
    for (size_t length : {259u, 260u, 300u}) {
        names.push_back(folders + std::string(length - folders.size() - 14, 'n') + "_12x4_RGGB.raw");
    }
    for (const std::string& name : names) {
        const auto expected = writeDump(dir.file(name), 12, 4, "RGGB", static_cast<uint32_t>(name.size()));
        const std::string bmp = name.substr(0, name.size() - 3) + "bmp";
#if defined(_WIN32)
        if (name.size() >= 260) {
            EXPECT_EQ(runConverter({name}, dir.path()),
                      (ConverterRun{1, "", failed(name, "output " + bmp + " not writable (" +
                                                            systemText(ENAMETOOLONG) + ")")}));
            EXPECT_FALSE(fileExists(dir.file(bmp)));
            EXPECT_FALSE(fileExists(dir.file(temporaryNameFor(bmp))));
            continue;
        }
#endif
        EXPECT_EQ(runConverter({name}, dir.path()), (ConverterRun{0, name + " -> " + bmp + " 6x2\n", ""}));
        EXPECT_EQ(readFile(dir.file(bmp)), expected) << name.size();
    }
}

// A disk that fills before, at and after the header: the older BMP stays and
// no temporary is left behind.
TEST(RunJob, AFailedWriteLeavesTheOlderBmpAndNoTemporaryBehind)
{
    static size_t budget = 0;  // bytes let through before the disk is full
    const FileWriteFunction saved = fileReplaceWrite;
    fileReplaceWrite = [](const void* data, size_t size, std::FILE* file) -> size_t {
        const size_t allowed = size < budget ? size : budget;
        budget -= allowed;
        const size_t written = std::fwrite(data, 1, allowed, file);
        errno = written < size ? ENOSPC : errno;
        return written;
    };
    TempDir dir;
    writeDump(dir.file("shot.raw"), 600, 400, "RGGB", 3);
    writeFile(dir.file("shot.bmp"), {'o', 'l', 'd'});
    const Job job = qcom10Job(dir.file("shot.raw"), dir.file("shot.bmp"), 600, 400);
    for (size_t allowed : {size_t{0}, size_t{54}, size_t{100000}}) {
        budget = allowed;
        const JobResult result = runJob(job, {});
        EXPECT_EQ(result.reason, "output " + job.output + " not writable (" + std::strerror(ENOSPC) + ")");
        EXPECT_EQ(readFile(job.output), (std::vector<uint8_t>{'o', 'l', 'd'})) << "after " << allowed << " bytes";
        EXPECT_EQ(filesIn(dir.path()), (std::set<std::string>{"shot.raw", "shot.bmp"}));
    }
    fileReplaceWrite = saved;
}

#if defined(PIXMORA_HAVE_MEMORY_CAP)
// Memory that runs out mid-batch fails that input with a reason, never a crash:
// the largest panel geometry converted with the address space capped just
// above what the process already uses.
TEST(BadInput, MemoryRunningOutIsReportedNotCrashed)
{
    TempDir dir;
    const std::string raw = dir.file("big.raw");
    ASSERT_TRUE(makeSparseFile(raw, rawGeometry(7399, 4999).inputBytes));
    const int status = exitStatusUnderMemoryCap(64u << 10, [&] {
        const JobResult result = runJob(qcom10Job(raw, dir.file("big.bmp"), 7399, 4999), {});
        return !result.ok && result.reason == "not enough memory to convert it" ? 0 : 1;
    });
    EXPECT_EQ(status, 0) << (status < 0 ? "the conversion crashed" : "no memory reason");
    EXPECT_EQ(filesIn(dir.path()), std::set<std::string>{"big.raw"});
}
#endif

}  // namespace
