// The panel's number reading and range rules against a model written from the
// rules themselves, and the load error text for any pattern index and buffer
// size. Input: width text, height text and path separated by NUL bytes, then
// four bytes of pattern index and one of buffer size.
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_target.h"
#include "app/settings_rules.h"

namespace {

// The C rule on the first nine characters, spelled out.
int32_t modelNumber(const std::string& text)
{
    const std::string cut = text.substr(0, std::min(text.size(), kSettingFieldChars));
    size_t i = 0;
    while (i < cut.size() && (cut[i] == ' ' || (cut[i] >= '\t' && cut[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < cut.size() && (cut[i] == '+' || cut[i] == '-')) {
        negative = cut[i] == '-';
        ++i;
    }
    int64_t value = 0;
    for (; i < cut.size() && cut[i] >= '0' && cut[i] <= '9'; ++i) {
        value = value * 10 + (cut[i] - '0');
    }
    return static_cast<int32_t>(negative ? -value : value);
}

std::vector<std::string> splitAtNul(const uint8_t* data, size_t size, size_t parts)
{
    std::vector<std::string> out(parts);
    size_t part = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && part + 1 < parts) {
            ++part;
        } else if (data[i] != 0) {
            out[part].push_back(static_cast<char>(data[i]));
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5) {
        return 0;
    }
    const uint8_t* tail = data + size - 5;
    int32_t bayerType = 0;
    std::memcpy(&bayerType, tail, sizeof bayerType);
    const size_t outChars = tail[4] % 160;
    const std::vector<std::string> fields = splitAtNul(data, size - 5, 3);

    const int32_t width = settingNumber(fields[0].c_str());
    const int32_t height = settingNumber(fields[1].c_str());
    FUZZ_CHECK(width == modelNumber(fields[0]));
    FUZZ_CHECK(height == modelNumber(fields[1]));

    const bool accepted = settingsAcceptable(width, height, bayerType, fields[2].c_str());
    FUZZ_CHECK(accepted == (width >= 641 && width <= 7399 && height >= 481 && height <= 4999 &&
                            bayerType >= 1 && bayerType <= 4 && !fields[2].empty()));

    // The text fits any buffer, and an index outside the list names no pattern.
    std::vector<char> out(outChars + 1, '#');
    formatLoadError(out.data(), outChars, width, height, bayerType);
    FUZZ_CHECK(out[outChars] == '#');
    if (outChars > 0) {
        FUZZ_CHECK(std::memchr(out.data(), 0, outChars) != nullptr);
    }
    char full[1024];
    formatLoadError(full, sizeof full, width, height, bayerType);
    const bool listed = bayerType >= 0 && bayerType <= 4;
    FUZZ_CHECK(listed || std::strstr(full, "[Type Select...]") != nullptr);
    return 0;
}
