// The texts of the window's "Error Hint" boxes, as users read them.
#pragma once

#include <string>

constexpr char kSettingsErrorText[] =
    "View Error!Please check [640 < width < 7400] [480 < height < 5000]\n"
    "[Type in [RGGB, GRBG, BGGR, GBRG]] and correct select raw file.";

inline std::string loadErrorText(const std::string& width, const std::string& height, const std::string& type)
{
    return "Load Error!Please check [width " + width + "] [height " + height + "]\n[Type " + type + "] is correct.";
}
