#include <cstdio>

#include "hex/Hexfile.h"

namespace {

std::string Address(int64_t address) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(address));
  return text;
}

}  // namespace

void HexLoadReport::NoteProblemLine(int lineNumber) {
  if (static_cast<int>(ProblemLines.size()) < MaxListedLines) ProblemLines.push_back(lineNumber);
}

void HexLoadReport::NoteBadChecksum(int lineNumber) {
  ++BadChecksumLines;
  NoteProblemLine(lineNumber);
}

void HexLoadReport::NoteMalformed(int lineNumber) {
  ++MalformedLines;
  NoteProblemLine(lineNumber);
}

void HexLoadReport::NoteOutside(int64_t address) {
  if (OutsideBytes == 0 || address < FirstOutside) FirstOutside = address;
  if (OutsideBytes == 0 || address > LastOutside) LastOutside = address;
  ++OutsideBytes;
}

void HexLoadReport::Append(const HexLoadReport& other, int lineOffset) {
  RecordCount += other.RecordCount;
  BadChecksumLines += other.BadChecksumLines;
  MalformedLines += other.MalformedLines;
  for (int line : other.ProblemLines) NoteProblemLine(lineOffset + line);
  if (other.HasOutside()) {
    if (!HasOutside() || other.FirstOutside < FirstOutside) FirstOutside = other.FirstOutside;
    if (!HasOutside() || other.LastOutside > LastOutside) LastOutside = other.LastOutside;
    OutsideBytes += other.OutsideBytes;
  }
}

std::string HexLoadReport::RecordProblemText() const {
  const int total = BadChecksumLines + MalformedLines;
  if (total == 0) return {};
  std::string text = std::to_string(total);
  text += total == 1 ? " record with a wrong checksum or malformed fields (line"
                     : " records with wrong checksums or malformed fields (lines";
  for (size_t i = 0; i < ProblemLines.size(); ++i) {
    text += i == 0 ? " " : ", ";
    text += std::to_string(ProblemLines[i]);
  }
  const int unlisted = total - static_cast<int>(ProblemLines.size());
  if (unlisted > 0) text += " and " + std::to_string(unlisted) + " more";
  text += ")";
  return text;
}

std::string HexLoadReport::OutsideText() const {
  if (OutsideBytes == 0) return {};
  if (OutsideBytes == 1)
    return "1 data byte lies outside the image (" + Address(FirstOutside) + ") and was left out";
  return std::to_string(OutsideBytes) + " data bytes lie outside the image (" + Address(FirstOutside) +
         " to " + Address(LastOutside) + ") and were left out";
}
