// The names outputs take: a file name's extension is what follows the last dot
// after the last folder separator ('/' or '\'), so a dot in a folder's name is
// never taken for one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Position of the dot that starts the file name's extension, or npos.
size_t extensionDot(const std::string& name);

// `name` with its extension replaced by `extension`, or `extension` added when
// it has none.
std::string withExtension(const std::string& name, const std::string& extension);

// The name of a frame's picture when every frame is converted: its index as
// -0000 ... before the extension.
std::string frameOutputName(const std::string& output, int64_t frameIndex);
