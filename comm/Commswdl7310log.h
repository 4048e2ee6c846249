// The log lines the K7310 download channel writes when a reply fails. A
// failed acknowledge logs the prefix, the received byte as two lower-case hex
// digits and CR LF; a time-out logs the fixed text; a data read with the
// wrong count logs the count prefix, "received expected" and CR LF.
#pragma once

struct TAwaitedReply {
  const char* NoAckPrefix;
  const char* TimeoutText;
};

namespace SwDl7310Log {
inline constexpr TAwaitedReply EraseCommand{"EraseMemComm: No Ack: ", "EraseMemComm: timeout: \r\n"};
inline constexpr TAwaitedReply ErasePage{"EraseMemPageAck: No Ack: ", "EraseMemPageAck: Timeout\r\n"};
inline constexpr TAwaitedReply WriteCommand{"WrMemComm: No Ack: ", "WrMemComm: Timeout\r\n"};
inline constexpr TAwaitedReply WriteAddress{"WrMemAddr: No Ack: ", "WrMemAddr: Timeout\r\n"};
inline constexpr TAwaitedReply WriteData{"WrMemData: No Ack: ", "WrMemData: Timeout\r\n"};
inline constexpr TAwaitedReply ReadCommand{"RdMemComm: No Ack: ", "RdMemComm: Timeout\r\n"};
inline constexpr TAwaitedReply ReadAddress{"RdMemAddr: No Ack: ", "RdMemAddr: Timeout\r\n"};
inline constexpr TAwaitedReply ReadLength{"RdMemLen: No Ack: ", "RdMemLen: Timeout\r\n"};
// The verification pass has no address prefix of its own: its address and
// its length acknowledge both log as "VerRdMemLen".
inline constexpr TAwaitedReply VerifyCommand{"VerRdMemComm: No Ack: ", "VerRdMemComm: Timeout\r\n"};
inline constexpr TAwaitedReply VerifyAddress{"VerRdMemLen: No Ack: ", "VerRdMemLen: Timeout\r\n"};
inline constexpr TAwaitedReply VerifyLength{"VerRdMemLen: No Ack: ", "VerRdMemLen: Timeout\r\n"};
inline constexpr TAwaitedReply GoCommand{"GoComm: No Ack: ", "GoComm: Timeout\r\n"};
inline constexpr TAwaitedReply GoAddress{"GoAck: No Ack: ", "GoAck: Timeout\r\n"};

inline constexpr const char* ReadBackCount = "RdMemData: Length: ";
inline constexpr const char* VerifyCount = "VerRdMemData: Length: ";
}  // namespace SwDl7310Log
