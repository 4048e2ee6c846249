#include "views/Loadwarnings.h"

#include "app/Dialogs.h"
#include "hex/Hexfile.h"

namespace {
constexpr const char* WarningCaption = "Warning";
}

bool AcceptHexLoadReport(const HexLoadReport& report, const std::string& fileName) {
  if (report.HasRecordProblems()) {
    const std::string text = "The file\r\n" + fileName + "\r\nhas " + report.RecordProblemText() +
                             ".\r\nLoad anyway?";
    if (Dialogs().MessageBox(text, WarningCaption, TMsgIcon::Warning, mbYes | mbNo) != mbYes) return false;
  }
  if (report.HasOutside()) {
    const std::string text = "In the file\r\n" + fileName + "\r\n" + report.OutsideText() + ".";
    Dialogs().MessageBox(text, WarningCaption, TMsgIcon::Warning, mbOK);
  }
  return true;
}

void WarnOversizedParameterLines(const std::vector<int>& lines, const std::string& fileName) {
  if (lines.empty()) return;
  std::string list;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) list += i + 1 == lines.size() ? " and " : ", ";
    list += std::to_string(lines[i]);
  }
  const bool one = lines.size() == 1;
  const std::string text = std::string(one ? "Line " : "Lines ") + list + " of the file\r\n" + fileName +
                           "\r\n" + (one ? "holds a parameter number" : "hold parameter numbers") +
                           " above 65535, which the device cannot address. " +
                           (one ? "This line" : "These lines") + " will be skipped.";
  Dialogs().MessageBox(text, WarningCaption, TMsgIcon::Warning, mbOK);
}
