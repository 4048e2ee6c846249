#include "app/Startup.h"

#include <QFont>
#include <exception>

#include "app/Dialogs.h"
#include "app/Mainform.h"

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    Dialogs().MessageBox(e.what(), TFMain::ApplicationTitle, TMsgIcon::Error, mbOK);
  }
  return false;
}

std::unique_ptr<TApplication> StartApplication(int& argc, char** argv) {
  auto app = std::make_unique<TApplication>(argc, argv);
  TApplication::setApplicationName("QMScaleService");
  // No display name: the toolkit would append it to every title a window
  // manager shows ("Configuration — ..."), and the captions must read exactly
  // as designed. The application title appears in the error display instead.
  // The program ends when the main window accepts a close, not when the last
  // window disappears (the main window hides while the closing dialog shows).
  TApplication::setQuitOnLastWindowClosed(false);
  // The forms are laid out in pixels for a narrow 11-pixel font.
  QFont font = TApplication::font();
  font.setPixelSize(11);
  font.setStretch(QFont::SemiCondensed);
  TApplication::setFont(font);
  return app;
}
