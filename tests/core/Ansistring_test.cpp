// The observable text: notifies only on a change, or once after Invalidate.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Ansistring.h"

namespace {

// Records the text the handler sees, as a view's handler reads the model.
struct View {
  TAnsiString* Text;
  std::vector<std::string> Seen;
  bool InvalidateOnce = false;
};

void Show(void* subscriber) {
  auto* view = static_cast<View*>(subscriber);
  view->Seen.push_back(view->Text->Get());
  if (view->InvalidateOnce) {
    view->InvalidateOnce = false;
    view->Text->Invalidate();
  }
}

class AnsiString : public ::testing::Test {
 protected:
  void SetUp() override { Text.Subscribe(Show, &Shown); }
  TAnsiString Text;
  View Shown{&Text, {}};
};

TEST_F(AnsiString, SetNotifiesOnlyWhenTheTextChanges) {
  Text.Set("");  // the start value: no change
  Text.Set("Ready for download");
  Text.Set("Ready for download");
  Text.Set("Connecting");
  EXPECT_EQ(Shown.Seen, (std::vector<std::string>{"Ready for download", "Connecting"}));
  EXPECT_EQ(Text.Get(), "Connecting");
}

TEST_F(AnsiString, InvalidateEmptiesNotifiesAndForcesTheNextSet) {
  Text.Set("0x00001000");
  Text.Invalidate();
  EXPECT_EQ(Text.Get(), "");
  Text.Set("0x00001000");  // unchanged from before Invalidate, still shown
  Text.Set("0x00001000");
  EXPECT_EQ(Shown.Seen, (std::vector<std::string>{"0x00001000", "", "0x00001000"}));
}

TEST_F(AnsiString, SetOfTheEmptyTextAfterInvalidateNotifies) {
  Text.Invalidate();
  Text.Set("");
  Text.Set("");
  EXPECT_EQ(Shown.Seen, (std::vector<std::string>{"", ""}));
}

TEST_F(AnsiString, InvalidateFromAHandlerKeepsItsMark) {
  Shown.InvalidateOnce = true;
  Text.Set("a");  // the handler sees "a", then invalidates: sees ""
  Text.Set("");   // unchanged, but the mark set in the handler stands
  Text.Set("");
  EXPECT_EQ(Shown.Seen, (std::vector<std::string>{"a", "", ""}));
}

}  // namespace
