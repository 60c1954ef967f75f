#include "convert_job.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "bayer_pattern.h"
#include "bmp_writer.h"
#include "conversion_settings.h"
#include "image_buffer.h"
#include "name_geometry.h"
#include "raw_decoder.h"

namespace {

// Below this much input a second thread costs more than it saves.
constexpr uint64_t kBytesPerThread = 4u << 20;
constexpr unsigned kMaxThreads = 4;

std::string joinAlternatives(const std::vector<std::string>& words)
{
    std::string text;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i > 0) {
            text += i + 1 == words.size() ? " and " : ", ";
        }
        text += words[i];
    }
    return text;
}

std::string dimensionText(int32_t width, int32_t height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

// Decodes row bands on several threads. Each picture row depends only on its
// own raw row pair, so bands cut at even rows give the single-pass bytes.
bool decodeInBands(const uint8_t* packed, int32_t width, int32_t height,
                   const BayerTables& tables, const PictureView& picture)
{
    const RawGeometry g = rawGeometry(width, height);
    const auto bytes = static_cast<uint64_t>(g.inputBytes);
    const unsigned hardware = std::max(1u, std::thread::hardware_concurrency());
    const auto pairs = static_cast<unsigned>(height / 2);
    const unsigned bands = std::min({hardware, kMaxThreads, pairs,
                                     static_cast<unsigned>(bytes / kBytesPerThread) + 1});

    std::vector<std::thread> helpers;
    std::vector<char> results(bands, 0);
    auto decodeBand = [&](unsigned band) {
        const int32_t firstPair = static_cast<int32_t>(pairs * band / bands);
        const int32_t endPair = static_cast<int32_t>(pairs * (band + 1) / bands);
        const int32_t y0 = 2 * firstPair;
        // The last band keeps an odd height's unpaired row, as one pass would.
        const int32_t rows = band + 1 == bands ? height - y0 : 2 * (endPair - firstPair);
        const int32_t pictureRows = endPair - firstPair;
        // Memory rows are bottom-up: the band's first raw pair is its last row.
        const PictureView part{picture.pixels + (picture.height - endPair) * picture.stride,
                               picture.width, pictureRows, picture.stride};
        const auto offset = static_cast<size_t>(g.rowBytes * y0);
        const auto partBytes = static_cast<size_t>(g.rowBytes * rows);
        results[band] = decodePackedRaw(packed + offset, partBytes, width, rows, tables, part) ? 1 : 0;
    };
    for (unsigned band = 1; band < bands; ++band) {
        helpers.emplace_back(decodeBand, band);
    }
    decodeBand(0);
    for (auto& helper : helpers) {
        helper.join();
    }
    return std::all_of(results.begin(), results.end(), [](char ok) { return ok != 0; });
}

JobResult failure(std::string reason)
{
    JobResult r;
    r.reason = std::move(reason);
    return r;
}

}  // namespace

JobPlan planJob(const Arguments& args, const std::string& input)
{
    JobPlan plan;
    Job& job = plan.job;
    job.input = input;
    job.width = args.width;
    job.height = args.height;
    job.pattern = args.pattern;

    std::vector<std::string> problems;
    if (job.width == 0 || job.height == 0 || job.pattern == 0) {
        const NameSettings name = settingsFromName(input);
        if (job.width == 0 || job.height == 0) {
            std::vector<std::string> missing;
            std::vector<std::string> options;
            if (job.width == 0) {
                missing.push_back("width");
                options.push_back("--width");
            }
            if (job.height == 0) {
                missing.push_back("height");
                options.push_back("--height");
            }
            const std::string advice = "pass " + joinAlternatives(options);
            if (name.sizeTokens == 1) {
                const int32_t w = job.width != 0 ? job.width : name.width;
                const int32_t h = job.height != 0 ? job.height : name.height;
                if (w < kMinWidth || w > kMaxWidth || h < kMinHeight || h > kMaxHeight) {
                    problems.push_back("the name's geometry " + dimensionText(name.width, name.height) +
                                       " is outside width 1 to 16384, height 2 to 16384; " + advice);
                } else {
                    job.width = w;
                    job.height = h;
                }
            } else {
                std::string words = joinAlternatives(missing) + " unknown: " + advice +
                                    ", or name the file with one <W>x<H> token";
                if (name.sizeTokens > 1) {
                    words += " (it has " + std::to_string(name.sizeTokens) + ")";
                }
                problems.push_back(words);
            }
        }
        if (job.pattern == 0) {
            if (name.patternTokens == 1) {
                job.pattern = name.pattern;
            } else {
                std::string words =
                    "pattern unknown: pass --pattern, or name the file with one of RGGB, GRBG, "
                    "BGGR, GBRG as a whole token";
                if (name.patternTokens > 1) {
                    words += " (it has " + std::to_string(name.patternTokens) + ")";
                }
                problems.push_back(words);
            }
        }
    }

    if (!args.output.empty()) {
        job.output = args.output;
    } else if (input.size() >= 3) {
        job.output = input.substr(0, input.size() - 3) + "bmp";
    } else {
        problems.push_back("the name is too short to make the BMP's name from; pass --output");
    }

    plan.ok = problems.empty();
    for (size_t i = 0; i < problems.size(); ++i) {
        plan.reason += (i > 0 ? "; " : "") + problems[i];
    }
    return plan;
}

JobResult runJob(const Job& job, const std::vector<FileIdentity>& inputs)
{
    if (const auto target = fileIdentity(job.output.c_str())) {
        if (std::find(inputs.begin(), inputs.end(), *target) != inputs.end()) {
            return failure("output " + job.output +
                           " is an input file; refusing to overwrite it (pass --output)");
        }
    }

    const RawGeometry g = rawGeometry(job.width, job.height);
    const auto needed = static_cast<size_t>(g.inputBytes);
    MappedFile file;
    if (!file.open(job.input.c_str())) {
        return failure("cannot open (" + file.reason() + ")");
    }
    if (!file.load(needed)) {
        return failure("cannot read (" + file.reason() + ")");
    }
    if (file.available() < needed) {
        return failure("too short (has " + std::to_string(file.available()) + " bytes; " +
                       std::to_string(job.width) + " x " + std::to_string(job.height) +
                       " needs " + std::to_string(needed) + ")");
    }

    if (!CDIBBitmap_create(nullptr, g.pictureWidth, g.pictureHeight, 24)) {
        return failure("not enough memory for a " + dimensionText(g.pictureWidth, g.pictureHeight) +
                       " picture");
    }
    const PictureView picture{m_pBmpData, m_nBmpWidth, m_nBmpHeight, m_nBmpStride};
    if (!decodeInBands(file.data(), job.width, job.height, bayerTablesFor(job.pattern), picture)) {
        CDIBBitmap_clear();
        return failure("cannot decode a " + dimensionText(job.width, job.height) + " dump");
    }
    const int error = CDIBBitmap_saveWithReason(job.output.c_str());
    CDIBBitmap_clear();
    if (error != 0) {
        return failure("output " + job.output + " not writable (" + std::strerror(error) + ")");
    }
    JobResult r;
    r.ok = true;
    r.pictureWidth = g.pictureWidth;
    r.pictureHeight = g.pictureHeight;
    return r;
}
