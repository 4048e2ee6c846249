// Dialogs answered by a script: every message box and file dialog is
// recorded; boxes that offer a choice take the next scripted answer, boxes
// with only OK are answered OK; file dialogs take the next scripted name
// (nullopt cancels).
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Dialogs.h"

struct TShownMessage {
  std::string Text;
  std::string Caption;
  TMsgIcon Icon;
  int Buttons;
};

class TScriptedDialogs : public TDialogs {
 public:
  TMsgButton MessageBox(const std::string& text, const std::string& caption, TMsgIcon icon,
                        int buttons) override;
  bool OpenFile(const TFileDialogRequest& request, std::string& fileName) override;
  bool SaveFile(const TFileDialogRequest& request, std::string& fileName) override;
  void Beep() override { ++Beeps; }

  // Texts of the boxes shown so far.
  std::vector<std::string> Texts() const;
  bool Shown(const std::string& text) const;

  // Called while a box is up, before it is answered: what the user does
  // meanwhile (plugs a cable back in, waits).
  std::function<void(const TShownMessage&)> WhileShown;

  std::deque<TMsgButton> Answers;
  std::deque<std::optional<std::string>> OpenNames;
  std::deque<std::optional<std::string>> SaveNames;

  std::vector<TShownMessage> Messages;
  std::vector<TFileDialogRequest> OpenRequests;
  std::vector<TFileDialogRequest> SaveRequests;
  int Beeps = 0;
};
