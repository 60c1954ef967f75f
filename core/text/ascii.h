// ASCII letter case, for names that are ASCII by definition (layouts, patterns,
// extensions, file-name tokens) whatever the bytes around them: a byte outside
// A-Z and a-z, UTF-8 included, is left as it is.
#pragma once

#include <string_view>

char asciiLower(char c);
char asciiUpper(char c);
bool isAsciiLetterOrDigit(char c);

// Whether `text` is `word` in any letter case.
bool equalsIgnoringCase(std::string_view text, std::string_view word);
