#pragma once
// The program's own result codes (facility 0x200). Their texts come from ErrorText().
#include "platform/result.h"

namespace rm7 {

inline constexpr Result kWarnReconciliationZero = 0xA2000047;
inline constexpr Result kWarnNoResponseToPacket = 0xA200004A;
inline constexpr Result kErrUnexpectedHexCharacter = 0xE200000B;
inline constexpr Result kErrInvalidEepromAddress = 0xE200000C;
inline constexpr Result kErrNoResponseFirmwareVersion = 0xE200000D;
inline constexpr Result kErrPortNameMissing = 0xE200000F;
inline constexpr Result kErrHexNoColon = 0xE2000020;
inline constexpr Result kErrHexRecordType = 0xE2000021;
inline constexpr Result kErrHexLineChecksum = 0xE2000022;
inline constexpr Result kErrHexNoEof = 0xE2000023;
inline constexpr Result kErrConfigIncomplete = 0xE2000030;
inline constexpr Result kErrConfigCorrupt = 0xE2000031;
inline constexpr Result kErrConfigSerialMismatch = 0xE2000032;
inline constexpr Result kErrHexDataLength = 0xE2000040;
inline constexpr Result kErrHexImageChecksum = 0xE2000041;
inline constexpr Result kErrNoEchoD = 0xE2000043;
inline constexpr Result kErrRetryLimit = 0xE2000044;
inline constexpr Result kErrNoResponseAfterReset = 0xE2000045;
inline constexpr Result kErrVersionVerify = 0xE2000046;
inline constexpr Result kErrNoResponseSync = 0xE2000048;
inline constexpr Result kErrNoResponsePoll = 0xE2000049;
inline constexpr Result kErrNoResponsePacket = 0xE200004B;
inline constexpr Result kErrUnexpectedDevice = 0xE200004E;
inline constexpr Result kErrNoResponseReadEeprom = 0xE2000050;
inline constexpr Result kErrNoResponseWriteEeprom = 0xE2000051;
inline constexpr Result kErrBusyStateMachine = 0xE2000052;
inline constexpr Result kErrCwMemoryTooLong = 0xE2000080;
inline constexpr Result kErrTxNorm = 0xE20000C0;
inline constexpr Result kErrSwrTooHigh = 0xE20000C3;
inline constexpr Result kErrNotConverged = 0xE20000C4;
inline constexpr Result kErrPowerNotReached = 0xE20000C5;
inline constexpr Result kErrNoResponseAN = 0xE2000103;
inline constexpr Result kErrNoResponseBN = 0xE2000106;
inline constexpr Result kErrNoResponseDB = 0xE2000109;
inline constexpr Result kErrNoResponseDS = 0xE200010C;
inline constexpr Result kErrNoResponseFA = 0xE2000115;
inline constexpr Result kErrNoResponseFB = 0xE2000116;
inline constexpr Result kErrNoResponseIC = 0xE200011D;
inline constexpr Result kErrNoResponseR4 = 0xE2000123;
inline constexpr Result kErrNoResponseR5 = 0xE2000124;
inline constexpr Result kErrNoResponseMP = 0xE2000131;
inline constexpr Result kErrNoResponseOM = 0xE2000134;
inline constexpr Result kErrNoResponsePC = 0xE2000149;
inline constexpr Result kErrNoResponseRO = 0xE2000154;
inline constexpr Result kErrNoResponseRT = 0xE2000157;
inline constexpr Result kErrNoResponseDspVersion = 0xE200015D;
inline constexpr Result kErrNoResponseTQ = 0xE200017D;
inline constexpr Result kErrNoResponseXT = 0xE2000186;

}  // namespace rm7

namespace rm7 {
// Codes of this program beyond the radio protocol's own (0xE20002xx).
inline constexpr Result kErrImageTooLarge = 0xE2000200;
// The DSP loader heard an acknowledgement while it padded a chunk with fill bytes: the
// radio took a chunk that was not the one sent, and a chunk has no address to put right.
inline constexpr Result kErrAckWhileSynchronizing = 0xE2000201;
// The open port's device vanished (cable or USB adapter pulled); never a matter of permissions.
inline constexpr Result kErrPortGone = 0xE2000210;
// Setting the radio's hours, minutes and seconds across midnight would leave its date a day off.
inline constexpr Result kErrClockAcrossMidnight = 0xE2000202;
// Set passes went on without the radio's display coming to the computer's time.
inline constexpr Result kErrClockNotFollowing = 0xE2000203;
// A firmware file is loaded only into the processor its name is for ("fmcu*.hex" the MCU,
// "fdsp*.hex" the DSP), and only when its name carries the version the load is verified by.
inline constexpr Result kErrFirmwareNameKind = 0xE2000220;
inline constexpr Result kErrFirmwareNameVersion = 0xE2000221;
// The file holds no data for the processor: nothing would be sent after the erase.
inline constexpr Result kErrFirmwareImageEmpty = 0xE2000222;
// A record gives other values for bytes an earlier record gave: which one is meant is unknown.
inline constexpr Result kErrHexOverlap = 0xE2000223;
// The calibration would have changed a setting it had no room left to put back.
inline constexpr Result kErrRestoreStackFull = 0xE2000230;
// The radio kept answering another value than the one the calibration set.
inline constexpr Result kErrSettingNotTaken = 0xE2000231;
// A setting the calibration changed did not read back as it was: the radio is not as it was left.
inline constexpr Result kErrSettingNotRestored = 0xE2000232;
// A band was skipped (its TUNE stopped, or the radio reports it out of band): not calibrated.
inline constexpr Result kErrBandNotCalibrated = 0xE2000233;
// A command macro for the radio that its EEPROM slot cannot hold: longer than the field, or
// with a character outside ISO-8859-1 (or one that would end the field when read back).
inline constexpr Result kErrMacroTooLong = 0xE2000240;
inline constexpr Result kErrMacroCharacter = 0xE2000241;
// What the radio reads back after a macro write is not what was written.
inline constexpr Result kErrMacroReadBack = 0xE2000242;
// The text terminal works only while the radio runs its firmware.
inline constexpr Result kErrTerminalNoFirmware = 0xE2000250;
// The radio stopped taking the text handed to it: its transmit buffer did not move.
inline constexpr Result kErrTerminalStalled = 0xE2000251;
}  // namespace rm7

namespace rm7 {
// A serial port on the network (rfc2217://HOST:PORT, tcp://HOST:PORT).
inline constexpr Result kErrNetBadPortName = 0xE2000260;
inline constexpr Result kErrNetNameNotFound = 0xE2000261;
inline constexpr Result kErrNetRefused = 0xE2000262;
inline constexpr Result kErrNetUnreachable = 0xE2000263;
// The far end did not answer the connection within its deadline.
inline constexpr Result kErrNetNoAnswer = 0xE2000264;
// An open connection that ended: closed by the far end, or nothing came back from it for so
// long that it counts as gone. Either is an unplugged cable to the jobs.
inline constexpr Result kErrNetClosed = 0xE2000265;
inline constexpr Result kErrNetSilent = 0xE2000266;

// The open port went away under the job: a pulled cable or adapter, or a connection that ended.
constexpr bool IsPortLost(Result r) {
    return r == kErrPortGone || r == kErrNetClosed || r == kErrNetSilent;
}
}  // namespace rm7

namespace rm7 {
// The file copy's failures, numbered as the file-server errors always were (the 12000 range).
// The copy on Windows passes on the system's own code from this range as it is.
inline constexpr Result kErrInternetOutOfHandles = 12001;
inline constexpr Result kErrInternetTimeout = 12002;
inline constexpr Result kErrInternetExtended = 12003;
inline constexpr Result kErrInternetInternal = 12004;
inline constexpr Result kErrInternetBadUrl = 12005;
inline constexpr Result kErrInternetScheme = 12006;
inline constexpr Result kErrInternetResolve = 12007;
inline constexpr Result kErrInternetBadUserName = 12013;
inline constexpr Result kErrInternetBadPassword = 12014;
inline constexpr Result kErrInternetLogin = 12015;
inline constexpr Result kErrInternetCancelled = 12017;
inline constexpr Result kErrInternetCannotConnect = 12029;
inline constexpr Result kErrInternetAborted = 12030;
inline constexpr Result kErrInternetReset = 12031;
inline constexpr Result kErrFtpTransferInProgress = 12110;
inline constexpr Result kErrFtpDropped = 12111;
inline constexpr Result kErrInternetBadResponse = 12152;

// The whole range the file-server errors are numbered in, named or not; the system's own codes
// lie below it.
inline constexpr std::uint32_t kInternetErrorFirst = 12000;
inline constexpr std::uint32_t kInternetErrorLast = 12175;
constexpr bool IsInternetError(Result r) {
    return r >= kInternetErrorFirst && r <= kInternetErrorLast;
}
}  // namespace rm7
