// Program start shared by the desktop app and its widget tests, so that the
// tests see the windows exactly as users do: the application's name, the
// forms' font and the error display for exceptions that escape a handler.
#pragma once

#include <QApplication>
#include <memory>

// Shows an exception that escaped an event handler with the application's
// error display and carries on, as the toolkit's standard handler would.
class TApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override;
};

// Creates the application object and sets it up. argc must outlive it.
std::unique_ptr<TApplication> StartApplication(int& argc, char** argv);
