// Help, About: what this program is (version, build, toolkit) and where it
// keeps its things (INI file, log file, the COM numbers' devices), for a
// technician reporting a problem or finding a port.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QPushButton;
class TFMain;

// The box's text, one fact a line.
std::string AboutText(const TFMain& main);

class TAboutBox : public QDialog {
 public:
  explicit TAboutBox(TFMain* main);

  QLabel* lText;
  QPushButton* BOk;
};
