#include "name_geometry.h"

#include <cstddef>

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

int32_t saturatingNumber(const std::string& digits)
{
    int64_t n = 0;
    for (char c : digits) {
        n = n * 10 + (c - '0');
        if (n > INT32_MAX) {
            return INT32_MAX;
        }
    }
    return static_cast<int32_t>(n);
}

// Width and height of a "<W>x<H>" token.
bool parseSizeToken(const std::string& token, int32_t* width, int32_t* height)
{
    const size_t x = token.find_first_of("xX");
    if (x == 0 || x == std::string::npos || x + 1 == token.size()) {
        return false;
    }
    for (size_t i = 0; i < token.size(); ++i) {
        if (i != x && !isDigit(token[i])) {
            return false;
        }
    }
    *width = saturatingNumber(token.substr(0, x));
    *height = saturatingNumber(token.substr(x + 1));
    return true;
}

}  // namespace

NameSettings settingsFromName(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);

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
        const std::string token = name.substr(i, end - i);
        i = end;

        int32_t w = 0;
        int32_t h = 0;
        if (parseSizeToken(token, &w, &h)) {
            if (++s.sizeTokens == 1) {
                s.width = w;
                s.height = h;
            }
        } else if (const int32_t p = patternByName(token); p != 0) {
            if (++s.patternTokens == 1) {
                s.pattern = p;
            }
        }
    }
    return s;
}
