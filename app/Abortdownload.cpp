#include "app/Abortdownload.h"

#include "app/Dialogs.h"

bool AskAbortDownload() {
  return Dialogs().MessageBox("Abort download?", "Abort", TMsgIcon::None, mbYes | mbNo) == mbYes;
}
