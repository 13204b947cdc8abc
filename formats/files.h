// Reading and writing whole files for the dump and key readers.
#pragma once

#include <string>

namespace varrok::dump {

// No card's dump comes near this (a 4K Classic JSON dump is about 20 KB); a
// larger file is refused before it is read any further.
inline constexpr std::size_t kMaxFileSize = 1 << 20;

// The file's contents; throws Error when it cannot be read or is too large.
std::string readBounded(const std::string& path);
// Replaces the file through a temporary file and a rename.
void replaceFile(const std::string& path, const std::string& contents);

} // namespace varrok::dump
