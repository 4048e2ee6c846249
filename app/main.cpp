// Program start: the application object and its title, the main window (whose
// creation starts the first worker thread), the closing dialog, then the
// start flag that lets the worker step, and the message loop.
#include <QApplication>
#include <QMessageBox>
#include <cstring>
#include <exception>

#include "app/Commclos.h"
#include "app/Dialogs.h"
#include "app/Mainform.h"
#include "app/Screenshots.h"
#include "comm/Commthrd.h"

namespace {

// Shows an exception that escaped an event handler with the application's
// error display and carries on, as the toolkit's standard handler would.
class TApplication : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      Dialogs().MessageBox(e.what(), TFMain::ApplicationTitle, TMsgIcon::Error, mbOK);
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  app.setApplicationName("QMScaleService");
  app.setApplicationDisplayName(TFMain::ApplicationTitle);
  // The program ends when the main window accepts a close, not when the last
  // window disappears (the main window hides while the closing dialog shows).
  app.setQuitOnLastWindowClosed(false);
  // The forms are laid out in pixels for a narrow 11-pixel font.
  QFont font = QApplication::font();
  font.setPixelSize(11);
  font.setStretch(QFont::SemiCondensed);
  QApplication::setFont(font);

  // Development aid: `QMScaleService --screenshots DIR` renders every view.
  if (argc == 3 && std::strcmp(argv[1], "--screenshots") == 0) return RunScreenshots(argv[2]);

  try {
    TFMain mainWindow;
    TCommClosing commClosing;
    mainWindow.SetCommClosing(&commClosing);
    QObject::connect(&mainWindow, &TFMain::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    ApplicationStarted = true;
    mainWindow.show();
    return app.exec();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, TFMain::ApplicationTitle, e.what());
    return 1;
  }
}
