#include "cli/name_geometry.h"

#include <cstddef>
#include <string_view>

#include "raw/cell_layout.h"
#include "text/ascii.h"
#include "text/decimal.h"

namespace {

// Width and height of a "<W>x<H>" token.
bool readSizeToken(std::string_view token, int64_t* width, int64_t* height)
{
    const size_t x = token.find_first_of("xX");
    return x != std::string_view::npos && readDecimal(token.substr(0, x), width) &&
           readDecimal(token.substr(x + 1), height);
}

// The setting a bracket key names, or null.
NameValue* bracketSetting(std::string_view key, NameSettings* s)
{
    if (equalsIgnoringCase(key, "w")) return &s->width;
    if (equalsIgnoringCase(key, "h")) return &s->height;
    if (equalsIgnoringCase(key, "stride")) return &s->stride;
    if (equalsIgnoringCase(key, "scanline")) return &s->scanlines;
    return nullptr;
}

std::optional<RawLayout> layoutToken(std::string_view token)
{
    if (const auto layout = layoutByName(token)) {
        return layout;
    }
    if (token.size() > 3 && equalsIgnoringCase(token.substr(0, 3), "raw")) {
        return layoutByName(token.substr(3));
    }
    return std::nullopt;
}

}  // namespace

void NameValue::see(int64_t v)
{
    if (distinct == 0) {
        distinct = 1;
        value = v;
    } else if (distinct == 1 && v != value) {
        distinct = 2;
    }
}

NameSettings settingsFromName(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    const std::string_view name =
        std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1);

    NameSettings s;
    size_t i = 0;
    while (i < name.size()) {
        if (!isAsciiLetterOrDigit(name[i])) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < name.size() && isAsciiLetterOrDigit(name[end])) {
            ++end;
        }
        const std::string_view token = name.substr(i, end - i);
        i = end;

        int64_t w = 0;
        int64_t h = 0;
        if (NameValue* setting = bracketSetting(token, &s); setting != nullptr && i < name.size() && name[i] == '[') {
            const size_t close = name.find(']', i);
            int64_t v = 0;
            if (close != std::string_view::npos && readDecimal(name.substr(i + 1, close - i - 1), &v)) {
                setting->see(v);
                i = close + 1;
            }
        } else if (readSizeToken(token, &w, &h)) {
            s.width.see(w);
            s.height.see(h);
        } else if (const auto layout = layoutToken(token)) {
            s.layout.see(static_cast<int64_t>(*layout));
        } else if (const int32_t p = patternByName(token); p != 0) {
            s.pattern.see(p);
        }
    }
    return s;
}
