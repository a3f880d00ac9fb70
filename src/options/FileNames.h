#pragma once

#include <cstddef>
#include <string>

// Where the last component of `path` starts: after its last '/' or '\'
// (both separate folders on Windows, and a name given there may use either).
std::size_t fileNameStart(const std::string& path);

// `path` without its folders.
std::string fileNamePart(const std::string& path);

// `path` with the extension of its last component replaced by `extension`
// (which brings its own "."), or with `extension` appended when that
// component has no "." after its first character.
std::string withExtension(const std::string& path, const std::string& extension);
