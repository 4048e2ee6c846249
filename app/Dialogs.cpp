#include "app/Dialogs.h"

#include <QApplication>
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

// "Intel HEX files (*.hex)|*.HEX" -> "Intel HEX files (*.hex *.HEX)": the
// patterns of each description|pattern pair in both cases, since file names
// on Linux come in either.
QString QtFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i];
    const int paren = description.indexOf('(');
    if (paren >= 0) description = description.left(paren).trimmed();
    QStringList patterns;
    for (const QString& p : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
      for (const QString& variant : {p.toLower(), p, p.toUpper()})
        if (!patterns.contains(variant)) patterns << variant;
    }
    filters << description + " (" + patterns.join(' ') + ")";
  }
  filters << "All files (*)";
  return filters.join(";;");
}

// Windows-style line ends in message texts show as plain line breaks.
QString DisplayText(const std::string& text) {
  QString s = QString::fromStdString(text);
  s.replace("\r\n", "\n");
  return s;
}

}  // namespace

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
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(QtFilter(request.Filter));
  const std::string folder = request.InitialDir.empty() ? LastOpenFolder : request.InitialDir;
  if (!folder.empty()) dialog.setDirectory(QString::fromStdString(folder));
  if (!request.DefaultExt.empty()) dialog.setDefaultSuffix(QString::fromStdString(request.DefaultExt));
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
  dialog.setNameFilter(QtFilter(request.Filter));
  if (!request.InitialDir.empty()) dialog.setDirectory(QString::fromStdString(request.InitialDir));
  if (!request.DefaultExt.empty()) dialog.setDefaultSuffix(QString::fromStdString(request.DefaultExt));
  if (!request.FileName.empty()) dialog.selectFile(QString::fromStdString(request.FileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  fileName = dialog.selectedFiles().first().toStdString();
  return true;
}

void TQtDialogs::Beep() { QApplication::beep(); }
