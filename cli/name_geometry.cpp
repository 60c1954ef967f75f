#include "name_geometry.h"

#include <cstddef>
#include <string_view>

#include "cell_layout.h"

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isTokenChar(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameWord(std::string_view token, std::string_view word)
{
    if (token.size() != word.size()) {
        return false;
    }
    for (size_t i = 0; i < token.size(); ++i) {
        if (lower(token[i]) != word[i]) {
            return false;
        }
    }
    return true;
}

// Digits only, at least one; saturating at INT64_MAX.
bool readNumber(std::string_view digits, int64_t* value)
{
    if (digits.empty()) {
        return false;
    }
    int64_t n = 0;
    for (char c : digits) {
        if (!isDigit(c)) {
            return false;
        }
        n = n > (INT64_MAX - 9) / 10 ? INT64_MAX : n * 10 + (c - '0');
    }
    *value = n;
    return true;
}

// Width and height of a "<W>x<H>" token.
bool readSizeToken(std::string_view token, int64_t* width, int64_t* height)
{
    const size_t x = token.find_first_of("xX");
    return x != std::string_view::npos && readNumber(token.substr(0, x), width) &&
           readNumber(token.substr(x + 1), height);
}

// The setting a bracket key names, or null.
NameValue* bracketSetting(std::string_view key, NameSettings* s)
{
    if (sameWord(key, "w")) return &s->width;
    if (sameWord(key, "h")) return &s->height;
    if (sameWord(key, "stride")) return &s->stride;
    if (sameWord(key, "scanline")) return &s->scanlines;
    return nullptr;
}

std::optional<RawLayout> layoutToken(std::string_view token)
{
    if (const auto layout = layoutByName(token)) {
        return layout;
    }
    if (token.size() > 3 && sameWord(token.substr(0, 3), "raw")) {
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
        if (!isTokenChar(name[i])) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < name.size() && isTokenChar(name[end])) {
            ++end;
        }
        const std::string_view token = name.substr(i, end - i);
        i = end;

        int64_t w = 0;
        int64_t h = 0;
        if (NameValue* setting = bracketSetting(token, &s); setting != nullptr && i < name.size() && name[i] == '[') {
            const size_t close = name.find(']', i);
            int64_t v = 0;
            if (close != std::string_view::npos && readNumber(name.substr(i + 1, close - i - 1), &v)) {
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
