// Reading the text lines of a HEX file.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The largest file read. The largest image is 704 KiB, which even records of
// one byte each write in under 11 MB; a larger file is the wrong one (a disk
// image, a device) and would otherwise take memory without end.
inline constexpr long long MaxHexFileBytes = 64LL * 1024 * 1024;

// The lines of the file, one entry per line: LF ends a line and the CR of a
// CR LF pair is dropped; a last line without a line end is kept. Raises
// HexFileError naming the file when it cannot be opened or read, or when it
// holds more than MaxHexFileBytes.
std::unique_ptr<std::vector<std::string>> ReadHexFileLines(const std::string& fileName);

// The same lines handed one by one to onLine as the file is read, none of
// them kept; a line is valid only during its call. Raises as above, possibly
// after some lines were handed over.
void ForEachHexFileLine(const std::string& fileName, const std::function<void(std::string_view)>& onLine);
