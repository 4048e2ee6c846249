// The one question before a running transfer is ended: the Abort button asks
// it, and so does every action that would restart the communication.
#pragma once

// "Abort download?" with caption "Abort", Yes and No; true on Yes.
bool AskAbortDownload();
