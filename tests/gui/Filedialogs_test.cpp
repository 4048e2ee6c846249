// The toolkit's file dialogs behind the dialog seam: the filters are exactly
// the forms' own, and a name that does not exist comes back to the caller,
// which reports it with its own message, not the toolkit's.
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <iterator>

#include "tests/gui/Guifixture.h"
#include "tests/support/Eventloop.h"
#include "views/Frameserswdl.h"
#include "views/Frametooltotalhex.h"

namespace {

// The toolkit's file dialogs with the scripted message boxes.
class TToolkitFileDialogs : public TQtDialogs {
 public:
  explicit TToolkitFileDialogs(TScriptedDialogs& boxes) : Boxes(boxes) {}
  TMsgButton MessageBox(const std::string& text, const std::string& caption, TMsgIcon icon, int buttons) override {
    return Boxes.MessageBox(text, caption, icon, buttons);
  }

 private:
  TScriptedDialogs& Boxes;
};

// What happened in the file dialog a button opened.
struct TDialogRun {
  bool Opened = false;
  QStringList Filters;
  bool ToolkitBox = false;  // the toolkit put up a box of its own
};

// Types the name into the file dialog that opens next and accepts it. A box
// the toolkit shows instead is closed (and recorded), then the dialog too.
void AnswerNextFileDialog(const std::string& name, TDialogRun& run) {
  QTimer::singleShot(100, [name, &run] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    run.Opened = true;
    run.Filters = dialog->nameFilters();
    QTimer::singleShot(300, [&run] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        run.ToolkitBox = true;
        box->reject();
      }
    });
    if (auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit")) edit->setText(QString::fromStdString(name));
    static_cast<QDialog*>(dialog)->accept();  // as the Open button does
    if (dialog->isVisible()) dialog->reject();
  });
}

}  // namespace

TEST_F(GuiTest, AMissingFileTypedIntoTheOpenDialogGetsTheFormsOwnMessage) {
  TToolkitFileDialogs toolkit(Dialogs);
  SetDialogs(&toolkit);
  struct TRestore {
    TScriptedDialogs& Scripted;
    ~TRestore() { SetDialogs(&Scripted); }
  } restore{Dialogs};
  StartMain("[CONFIG]\r\nCONNECTION=Serial\r\nTOOLMENU=1\r\nOPERATION=Software Download - K7310\r\n");

  struct Case {
    const char* Where;
    std::function<void()> Click;
    const char* Filter;
  };
  const Case cases[] = {
      {"download view", [this] { DownloadView().Widgets().bOpen->click(); }, "Intel HEX files (*.hex)"},
      {"total hex tool",
       [this] {
         Main->MITotalHexFile->trigger();
         ToolView().Widgets().bLoadDisp->click();
       },
       "Intel HEX files (*.hex)"},
  };
  // Outlive the loop: a check left pending by one case may run in the next.
  TDialogRun runs[std::size(cases)];
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    TDialogRun& run = runs[i];
    SCOPED_TRACE(c.Where);
    Dialogs.Messages.clear();
    AnswerNextFileDialog(Path("missing.hex"), run);
    c.Click();
    ASSERT_TRUE(run.Opened);
    EXPECT_EQ(run.Filters, QStringList{c.Filter}) << "no filter of the toolkit's own";
    EXPECT_FALSE(run.ToolkitBox) << "the toolkit's own file-not-found box";
    ASSERT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Dialogs.Messages[0].Text, "Could not open file");
    EXPECT_EQ(Dialogs.Messages[0].Caption, "Error");
  }
}

TEST(QtNameFilters, TheDescriptionsOfTheFormsAndNothingElse) {
  EXPECT_EQ(QtNameFilters("Intel HEX files (*.hex)|*.HEX"), QStringList{"Intel HEX files (*.hex)"});
  EXPECT_EQ(QtNameFilters("Text files (*.txt)|*.TXT"), QStringList{"Text files (*.txt)"});
  EXPECT_EQ(QtNameFilters("Firmware|*.HEX;*.A90"), QStringList{"Firmware (*.HEX *.A90)"});
}
