// The numbers the host and the channels exchange: the command codes, the
// reply timer's event code, and the channel states a host looks at. The
// values are fixed; these names say what they mean.
#pragma once

// Command codes (CmBase::Command). Their meaning depends on the channel:
// code 1 stops a download but starts the parameter upload.
namespace CmCommand {
// The download channels (both firmware downloads and the parameter download):
inline constexpr int Stop = 1;   // end the run; the channel becomes ready ("Ready for download")
inline constexpr int Start = 2;  // start a run from ready
// The parameter upload:
inline constexpr int StopReceiving = 0;   // end the reception
inline constexpr int StartReceiving = 1;  // empty the input, clear the old lines, listen
}  // namespace CmCommand

// The event code TimerEvent gets when the model's reply timer expires.
inline constexpr int CmReplyTimerEvent = 2;

// Channel states (CmBase::GetState) that mean the same in every download
// channel, and the one the host needs of the parameter upload.
namespace CmState {
inline constexpr int NoData = 0;       // nothing loaded to download
inline constexpr int Ready = 1;        // loaded, no run
inline constexpr int FirstBusy = 2;    // from here on a run is requested or running
inline constexpr int PortAbsent = 3;   // the port did not open or hung up: no run, waiting for it
inline constexpr int UploadIdle = 0;   // parameter upload: not listening
inline constexpr int Receiving = 1;    // parameter upload: listening
}  // namespace CmState
