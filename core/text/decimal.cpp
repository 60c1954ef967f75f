#include "text/decimal.h"

bool readDecimal(std::string_view digits, int64_t* value)
{
    if (digits.empty()) {
        return false;
    }
    int64_t n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return false;
        }
        n = n > (INT64_MAX - 9) / 10 ? INT64_MAX : n * 10 + (c - '0');
    }
    *value = n;
    return true;
}

bool readDecimalInRange(std::string_view digits, int64_t low, int64_t high, int64_t* value)
{
    int64_t n = 0;
    if (!readDecimal(digits, &n) || n < low || n > high) {
        return false;
    }
    *value = n;
    return true;
}
