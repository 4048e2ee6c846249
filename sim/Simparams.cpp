#include "sim/Simparams.h"

#include <fstream>
#include <sstream>

#include "sim/Simjson.h"

namespace {

constexpr size_t kValueField = 7;

std::string Trim(const std::string& text) {
  size_t from = text.find_first_not_of(" \t\r\n");
  if (from == std::string::npos) return "";
  size_t to = text.find_last_not_of(" \t\r\n");
  return text.substr(from, to - from + 1);
}

}  // namespace

SimParams::SimParams(const SimOptions& options) : SimFramedDevice("params", options) {}

bool SimParams::ParseTable(const std::string& text, std::map<int, std::string>& table, std::string& error) {
  std::istringstream in(text);
  std::string line;
  int lineNumber = 0;
  while (std::getline(in, line)) {
    ++lineNumber;
    std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    size_t separator = trimmed.find_first_of("=:");
    std::string number = separator == std::string::npos ? "" : Trim(trimmed.substr(0, separator));
    size_t used = 0;
    long value = -1;
    try {
      value = number.empty() ? -1 : std::stol(number, &used);
    } catch (const std::exception&) {
      value = -1;
    }
    if (separator == std::string::npos || used != number.size() || value < 0 || value > 0xFFFF) {
      error = "line " + std::to_string(lineNumber) + " is not \"number=value\" with a number from 0 to 65535: " + trimmed;
      return false;
    }
    table[static_cast<int>(value)] = Trim(trimmed.substr(separator + 1));
  }
  return true;
}

std::string SimParams::FormatTable(const std::map<int, std::string>& table) {
  std::string out;
  for (const auto& [number, value] : table) out += std::to_string(number) + "=" + value + "\n";
  return out;
}

bool SimParams::Prepare(std::string& error) {
  if (Options.TableFile.empty()) return true;
  std::ifstream in(Options.TableFile, std::ios::binary);
  if (!in) {
    error = "Could not open the parameter table " + Options.TableFile;
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  std::map<int, std::string> table;
  if (!ParseTable(text.str(), table, error)) {
    error = "Parameter table " + Options.TableFile + ": " + error;
    return false;
  }
  std::lock_guard<std::mutex> guard(Lock);
  Values = table;
  return true;
}

void SimParams::HandleFrame(const SimFrame& frame) {
  const std::vector<uint8_t>& data = frame.Data;
  if (frame.Command == 0xD2 && data.size() == 2) {
    int number = static_cast<int>(SimLittleEndian(data, 0, 2));
    std::string value;
    {
      std::lock_guard<std::mutex> guard(Lock);
      auto it = Values.find(number);
      if (it != Values.end()) value = it->second;
      ++ReadCount;
      Log.push_back({false, number, value});
    }
    std::vector<uint8_t> answer{data[0], data[1]};
    for (size_t i = 0; i < kValueField; ++i) answer.push_back(i < value.size() ? static_cast<uint8_t>(value[i]) : 0);
    AnswerFrame(0xD3, answer, "read answer " + std::to_string(number));
  } else if (frame.Command == 0xD0 && data.size() == 9) {
    int number = static_cast<int>(SimLittleEndian(data, 0, 2));
    std::string value;
    for (size_t i = 2; i < data.size() && data[i] != 0; ++i) value += static_cast<char>(data[i]);
    {
      std::lock_guard<std::mutex> guard(Lock);
      Values[number] = value;
      ++WriteCount;
      Log.push_back({true, number, value});
    }
    AnswerFrame(0xD1, {data[0], data[1], 0x00}, "write answer " + std::to_string(number));
  }
}

std::map<int, std::string> SimParams::Table() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Values;
}

std::vector<SimParamAccess> SimParams::Accesses() const {
  std::lock_guard<std::mutex> guard(Lock);
  return Log;
}

void SimParams::SummaryFields(SimJson& json) const {
  FrameSummary(json);
  json.Field("reads", ReadCount);
  json.Field("writes", WriteCount);
  json.Key("accesses").BeginArray();
  for (const SimParamAccess& access : Log) {
    json.BeginObject();
    json.Field("op", access.Write ? "write" : "read");
    json.Field("number", access.Number);
    json.Field("value", access.Value);
    json.EndObject();
  }
  json.EndArray();
}

bool SimParams::DumpFiles(const std::string& dir, std::string& error) const {
  std::string text = FormatTable(Values);
  return WriteDumpFile(dir, "params.txt", std::vector<uint8_t>(text.begin(), text.end()), error);
}
