// Program start: the application object (shared start-up), the main window
// (whose creation starts the first worker thread), the closing dialog, then
// the start flag that lets the worker step, and the message loop.
#include <QMessageBox>
#include <exception>

#include "app/Commclos.h"
#include "app/Mainform.h"
#include "app/Startup.h"
#include "comm/Commthrd.h"

int main(int argc, char** argv) {
  std::unique_ptr<TApplication> app = StartApplication(argc, argv);
  try {
    TFMain mainWindow;
    TCommClosing commClosing;
    mainWindow.SetCommClosing(&commClosing);
    QObject::connect(&mainWindow, &TFMain::Closed, app.get(), &QCoreApplication::quit, Qt::QueuedConnection);
    ApplicationStarted = true;
    mainWindow.show();
    return app->exec();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, TFMain::ApplicationTitle, e.what());
    return 1;
  }
}
