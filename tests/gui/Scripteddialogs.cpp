#include "tests/gui/Scripteddialogs.h"

#include <gtest/gtest.h>

#include <algorithm>

TMsgButton TScriptedDialogs::MessageBox(const std::string& text, const std::string& caption, TMsgIcon icon,
                                        int buttons) {
  Messages.push_back({text, caption, icon, buttons});
  if (WhileShown) WhileShown(Messages.back());
  if (buttons == mbOK) return mbOK;
  if (Answers.empty()) {
    ADD_FAILURE() << "unscripted question: \"" << text << "\" (" << caption << ")";
    return buttons & mbCancel ? mbCancel : mbNo;
  }
  const TMsgButton answer = Answers.front();
  Answers.pop_front();
  EXPECT_TRUE(buttons & answer) << "scripted answer not offered for \"" << text << "\"";
  return answer;
}

bool TScriptedDialogs::OpenFile(const TFileDialogRequest& request, std::string& fileName) {
  OpenRequests.push_back(request);
  if (OpenNames.empty()) {
    ADD_FAILURE() << "unscripted open dialog";
    return false;
  }
  const std::optional<std::string> name = OpenNames.front();
  OpenNames.pop_front();
  if (!name) return false;
  fileName = *name;
  return true;
}

bool TScriptedDialogs::SaveFile(const TFileDialogRequest& request, std::string& fileName) {
  SaveRequests.push_back(request);
  if (SaveNames.empty()) {
    ADD_FAILURE() << "unscripted save dialog";
    return false;
  }
  const std::optional<std::string> name = SaveNames.front();
  SaveNames.pop_front();
  if (!name) return false;
  fileName = *name;
  return true;
}

std::vector<std::string> TScriptedDialogs::Texts() const {
  std::vector<std::string> texts;
  for (const TShownMessage& m : Messages) texts.push_back(m.Text);
  return texts;
}

bool TScriptedDialogs::Shown(const std::string& text) const {
  return std::any_of(Messages.begin(), Messages.end(), [&](const TShownMessage& m) { return m.Text == text; });
}
