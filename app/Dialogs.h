// Every message box, file dialog and beep of the application goes through
// this seam, so that widget tests can answer them with scripted replies.
#pragma once

#include <QStringList>
#include <string>

enum class TMsgIcon { None, Information, Warning, Error, Question };

// Button sets and the answer given (one bit per button).
enum TMsgButton : int {
  mbNone = 0,
  mbOK = 1,
  mbCancel = 2,
  mbYes = 4,
  mbNo = 8,
};

// What a file dialog is opened with. Filter uses the "description|pattern"
// form ("Intel HEX files (*.hex)|*.HEX"); patterns match without regard to case.
struct TFileDialogRequest {
  std::string Filter;
  std::string InitialDir;  // empty: where the dialog was last used
  std::string DefaultExt;  // without the dot; added when the name has none
  std::string FileName;    // proposed name
};

class TDialogs {
 public:
  virtual ~TDialogs() = default;
  // Returns the button pressed (one of the given ones).
  virtual TMsgButton MessageBox(const std::string& text, const std::string& caption, TMsgIcon icon,
                                int buttons) = 0;
  // False when the user cancelled; otherwise fileName is the full name.
  virtual bool OpenFile(const TFileDialogRequest& request, std::string& fileName) = 0;
  virtual bool SaveFile(const TFileDialogRequest& request, std::string& fileName) = 0;
  // The system's default beep.
  virtual void Beep() = 0;
};

// The toolkit's name filters for a "description|pattern" filter: exactly the
// descriptions, nothing added.
QStringList QtNameFilters(const std::string& filter);

// The dialogs in force: the Qt ones unless a test installed its own.
TDialogs& Dialogs();
// Installs replacement dialogs (not owned); null restores the Qt ones.
void SetDialogs(TDialogs* dialogs);

// The Qt widgets behind the seam.
class TQtDialogs : public TDialogs {
 public:
  TMsgButton MessageBox(const std::string& text, const std::string& caption, TMsgIcon icon,
                        int buttons) override;
  bool OpenFile(const TFileDialogRequest& request, std::string& fileName) override;
  bool SaveFile(const TFileDialogRequest& request, std::string& fileName) override;
  void Beep() override;

 private:
  std::string LastOpenFolder;  // where an open dialog without an initial folder starts
};
