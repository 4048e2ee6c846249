#include "app/Aboutbox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtGlobal>

#include "app/Mainform.h"
#include "comm/Portmap.h"
#include "files/Version.h"

std::string AboutText(const TFMain& main) {
  std::string text;
  auto line = [&text](const std::string& s) { text += s + "\n"; };
  line(TFMain::ApplicationTitle);
  line(std::string("Version ") + QMSS_VERSION);
  line(std::string("Build: commit ") + QMSS_BUILD_COMMIT + ", " + QMSS_BUILD_DATE);
  line(std::string("Qt ") + qVersion() + " (built with " + QT_VERSION_STR + ")");
  line("");
  line("INI file: " + main.IniFileName());
  line("Log file: " + main.LogFileName() +
       (main.LogIsOpen() ? "" : " (not open: another instance may hold it; this run writes no log)"));
  line("");
  line("COM ports:");
  for (const std::string& range : ComTableLines()) line("  " + range);
  const auto& overrides = ComOverrides();
  if (overrides.empty()) {
    line("  no overrides in [PORTS]");
  } else {
    line("  overrides in [PORTS]:");
    for (const auto& [number, path] : overrides) line("  " + ComName(number) + ": " + path);
  }
  return text;
}

TAboutBox::TAboutBox(TFMain* main) : QDialog(main) {
  setObjectName("AboutBox");
  setWindowTitle("About");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setModal(true);
  lText = new QLabel(QString::fromStdString(AboutText(*main)).trimmed(), this);
  lText->setObjectName("lText");
  // Paths are for copying into a report or a terminal.
  lText->setTextInteractionFlags(Qt::TextSelectableByMouse);
  BOk = new QPushButton("OK", this);
  BOk->setObjectName("BOk");
  BOk->setDefault(true);
  connect(BOk, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 12);
  layout->addWidget(lText);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(BOk);
  layout->addLayout(buttons);
  setFixedSize(sizeHint());
}
