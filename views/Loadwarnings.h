// Warnings about files that loaded with problems.
#pragma once

#include <string>
#include <vector>

struct HexLoadReport;

// Wrong checksums or malformed records: asks "Load anyway?" (false on No).
// Data outside the image: says which range was left out. True when the image
// is to be used.
bool AcceptHexLoadReport(const HexLoadReport& report, const std::string& fileName);
// Parameter lines whose numbers the device protocol cannot address (line
// numbers, 1-based): says that they will be skipped.
void WarnOversizedParameterLines(const std::vector<int>& lines, const std::string& fileName);
