#include "encode/bmp_format.h"

namespace {

void put16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v)
{
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

// Bytes of the UTF-8 character that ends text[0, end): a lead byte followed by
// exactly the continuation bytes (10xxxxxx) it announces. Any other byte is a
// character of its own.
size_t lastCharacterBytes(const std::string& text, size_t end)
{
    size_t start = end - 1;
    while (start > 0 && (static_cast<uint8_t>(text[start]) & 0xC0) == 0x80) {
        --start;
    }
    const auto lead = static_cast<uint8_t>(text[start]);
    const size_t length = (lead & 0xF8) == 0xF0 ? 4 : (lead & 0xF0) == 0xE0 ? 3 : (lead & 0xE0) == 0xC0 ? 2 : 1;
    return end - start == length ? length : 1;
}

}  // namespace

std::string bmpNameFor(const std::string& rawPath, bool utf8)
{
    constexpr size_t kReplaced = 3;
    size_t kept = rawPath.size();
    for (size_t i = 0; i < kReplaced; ++i) {
        if (kept == 0) {
            return {};
        }
        kept -= utf8 ? lastCharacterBytes(rawPath, kept) : 1;
    }
    return rawPath.substr(0, kept) + "bmp";
}

bool buildBmpHeader(int32_t width, int32_t height, int64_t stride, uint8_t header[kBmpHeaderBytes])
{
    const int64_t fileSize = kBmpHeaderBytes + stride * height;
    if (width <= 0 || height <= 0 || stride < 3 * static_cast<int64_t>(width) || fileSize > UINT32_MAX) {
        return false;
    }
    for (int i = 0; i < kBmpHeaderBytes; ++i) {
        header[i] = 0;
    }
    header[0] = 'B';
    header[1] = 'M';
    put32(header + 2, static_cast<uint32_t>(fileSize));
    put32(header + 10, kBmpHeaderBytes);
    put32(header + 14, 40);
    put32(header + 18, static_cast<uint32_t>(width));
    put32(header + 22, static_cast<uint32_t>(height));
    put16(header + 26, 1);
    put16(header + 28, 24);
    return true;
}
