#include "cli/output_names.h"

#include <cstdio>

size_t extensionDot(const std::string& name)
{
    const size_t slash = name.find_last_of("/\\");
    const size_t dot = name.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : std::string::npos;
}

std::string withExtension(const std::string& name, const std::string& extension)
{
    return name.substr(0, extensionDot(name)) + extension;
}

std::string frameOutputName(const std::string& output, int64_t frameIndex)
{
    char number[32];
    std::snprintf(number, sizeof number, "-%04lld", static_cast<long long>(frameIndex));
    const size_t dot = extensionDot(output);
    return dot == std::string::npos ? output + number : output.substr(0, dot) + number + output.substr(dot);
}
