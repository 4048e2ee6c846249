#include "app/Dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

namespace {

TQtDialogs& QtDialogs() {
  static TQtDialogs dialogs;
  return dialogs;
}

TDialogs* Installed = nullptr;

// Sets up the dialog's file list the way the system's dialogs do it.
void PrepareFileDialog(QFileDialog& dialog, const TFileDialogRequest& request) {
  dialog.setNameFilters(QtNameFilters(request.Filter));
  // Patterns match without regard to case, as on the system the filters were
  // written for: "*.HEX" lists main.hex too.
  dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
  if (!request.DefaultExt.empty()) dialog.setDefaultSuffix(QString::fromStdString(request.DefaultExt));
}

// Windows-style line ends in message texts show as plain line breaks.
QString DisplayText(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.replace("\r\n", "\n");
  return s;
}

}  // namespace

QStringList QtNameFilters(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    // The description is shown as it stands; the toolkit takes the patterns
    // from its parentheses, so a description without them gets the pattern.
    const QString& description = parts[i];
    const QString patterns = parts[i + 1].split(';', Qt::SkipEmptyParts).join(' ');
    filters << (description.contains('(') ? description : description + " (" + patterns + ")");
  }
  return filters;
}

TDialogs& Dialogs() { return Installed ? *Installed : QtDialogs(); }

void SetDialogs(TDialogs* dialogs) { Installed = dialogs; }

TMsgButton TQtDialogs::MessageBox(const std::string& text, const std::string& caption, TMsgIcon icon,
                                  int buttons) {
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(QString::fromStdString(caption));
  box.setText(DisplayText(text));
  switch (icon) {
    case TMsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case TMsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case TMsgIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case TMsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    case TMsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
  }
  struct Pair {
    TMsgButton Ours;
    QMessageBox::StandardButton Qt;
  };
  const Pair pairs[] = {{mbOK, QMessageBox::Ok},
                        {mbYes, QMessageBox::Yes},
                        {mbNo, QMessageBox::No},
                        {mbCancel, QMessageBox::Cancel}};
  QMessageBox::StandardButtons set;
  for (const Pair& p : pairs)
    if (buttons & p.Ours) set |= p.Qt;
  if (!set) set = QMessageBox::Ok;
  box.setStandardButtons(set);
  // The first button is the default, as with the system's message boxes.
  for (const Pair& p : pairs)
    if (buttons & p.Ours) {
      box.setDefaultButton(p.Qt);
      break;
    }
  const int answer = box.exec();
  for (const Pair& p : pairs)
    if (answer == p.Qt) return p.Ours;
  // Closed with Escape or the title bar: the cancelling answer of the set.
  if (buttons & mbCancel) return mbCancel;
  if (buttons & mbNo) return mbNo;
  return mbOK;
}

bool TQtDialogs::OpenFile(const TFileDialogRequest& request, std::string& fileName) {
  QFileDialog dialog(QApplication::activeWindow());
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // Any name is taken: the caller tells the user when the file does not
  // exist, with its own message, not the toolkit's.
  dialog.setFileMode(QFileDialog::AnyFile);
  PrepareFileDialog(dialog, request);
  const std::string folder = request.InitialDir.empty() ? LastOpenFolder : request.InitialDir;
  if (!folder.empty()) dialog.setDirectory(QString::fromStdString(folder));
  if (!request.FileName.empty()) dialog.selectFile(QString::fromStdString(request.FileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  fileName = dialog.selectedFiles().first().toStdString();
  LastOpenFolder = QFileInfo(QString::fromStdString(fileName)).absolutePath().toStdString();
  return true;
}

bool TQtDialogs::SaveFile(const TFileDialogRequest& request, std::string& fileName) {
  QFileDialog dialog(QApplication::activeWindow());
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The callers ask about overwriting themselves, with their own texts.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  PrepareFileDialog(dialog, request);
  if (!request.InitialDir.empty()) dialog.setDirectory(QString::fromStdString(request.InitialDir));
  if (!request.FileName.empty()) dialog.selectFile(QString::fromStdString(request.FileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  fileName = dialog.selectedFiles().first().toStdString();
  return true;
}

void TQtDialogs::Beep() { QApplication::beep(); }
