// Reading the text lines of a HEX file.
#pragma once

#include <memory>
#include <string>
#include <vector>

// The lines of the file, one entry per line: LF ends a line and the CR of a
// CR LF pair is dropped; a last line without a line end is kept. Raises
// HexFileError naming the file when it cannot be opened or read.
std::unique_ptr<std::vector<std::string>> ReadHexFileLines(const std::string& fileName);
