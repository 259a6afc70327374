#include "platform/error_text.h"

#include <cstdint>
#include <cstdio>

#include "platform/format.h"
#include "platform/os_error.h"
#include "platform/result_codes.h"
#include "platform/text.h"

namespace rm7 {
namespace {

struct CodeText {
    Result code;
    const char* text;
};

constexpr CodeText kOwnTexts[] = {
    {kWarnReconciliationZero, "The computed checksum reconciliation word is zero"},
    {kWarnNoResponseToPacket, "No response to firmware packet"},
    {kErrUnexpectedHexCharacter, "Unexpected hex character"},
    {kErrInvalidEepromAddress, "Invalid EEPROM address"},
    {kErrNoResponseFirmwareVersion, "No response to firmware version"},
    {kErrPortNameMissing, "Serial port name is missing"},
    {kErrHexNoColon, "intel hex line does not begin with the expected colon"},
    {kErrHexRecordType, "Unrecognized intel hex record type"},
    {kErrHexLineChecksum, "intel hex line checksum error"},
    {kErrHexNoEof, "Missing intel hex end-of-file record"},
    {kErrConfigIncomplete, "Incomplete configuration file"},
    {kErrConfigCorrupt, "Corrupt configuration file"},
    {kErrConfigSerialMismatch, "%s serial number does not match the restore file serial number"},
    {kErrHexDataLength, "Unexpected intel hex data record length"},
    {kErrHexImageChecksum, "Input hex file is corrupt, check sum is not zero"},
    {kErrNoEchoD, "Bootstrap Loader did not echo a D"},
    {kErrRetryLimit, "Retry limit has been exhausted"},
    {kErrNoResponseAfterReset, "No response after reset"},
    {kErrVersionVerify, "Version number verification failed"},
    {kErrNoResponseSync, "No response to poll while synchronizing to buffer boundary"},
    {kErrNoResponsePoll, "No response to semicolon poll"},
    {kErrNoResponsePacket, "No response to firmware packet"},
    {kErrUnexpectedDevice, "Unexpected device (e.g. R5 vs %s)"},
    {kErrNoResponseReadEeprom, "No response to Read EEPROM block"},
    {kErrNoResponseWriteEeprom, "No response to Write EEPROM block"},
    {kErrBusyStateMachine, "Cannot start a busy state machine"},
    {kErrCwMemoryTooLong, "Message is longer than an %s CW Memory"},
    {kErrTxNorm, "%s must be in \"TX NORM\" for TX Gain Calibration"},
    {kErrSwrTooHigh, "SWR too high to continue calibration"},
    {kErrNotConverged, "TX Gain calibration failed because power readings did not converge to a consistent value"},
    {kErrPowerNotReached, "TX Gain calibration failed because transmit power did not reach the expected value"},
    {kErrNoResponseAN, "No response to Antenna (AN)"},
    {kErrNoResponseBN, "No response to Band Number (BN)"},
    {kErrNoResponseDB, "No response to VFO B (DB)"},
    {kErrNoResponseDS, "No response to VFO A and Basic Icon Read (DS)"},
    {kErrNoResponseFA, "No response to VFO A (FA)"},
    {kErrNoResponseFB, "No response to VFO B (FB)"},
    {kErrNoResponseIC, "No response to Miscelleneous Icons and Status (IC)"},
    {kErrNoResponseR4, "No response to R4 command mode (R4)"},
    {kErrNoResponseR5, "No response to R5 command mode (R5)"},
    {kErrNoResponseMP, "No response to Menu Parameter (MP)"},
    {kErrNoResponseOM, "No response to Option Modules (OM)"},
    {kErrNoResponsePC, "No response to Power (PC)"},
    {kErrNoResponseRO, "No response to RIT Offset (RO)"},
    {kErrNoResponseRT, "No response to RIT (RT)"},
    {kErrNoResponseDspVersion, "No response to DSP version (RVD)"},
    {kErrNoResponseTQ, "No response to Transmit Query (TQ)"},
    {kErrNoResponseXT, "No response to XIT (XT)"},
    {kErrImageTooLarge, "Firmware image does not fit the radio's memory"},
    {kErrAckWhileSynchronizing, "Chunk acknowledged while synchronizing to buffer boundary; reload the firmware"},
    {kErrPortGone, "The radio's serial port went away (cable or adapter unplugged)"},
    {kErrTerminalNoFirmware, "The %s is not running its firmware: the text terminal works only then"},
    {kErrTerminalStalled, "The %s stopped taking text: its transmit buffer did not move"},
    {kErrClockAcrossMidnight,
     "%s time and PC time lie on either side of midnight: setting the time would leave the %s "
     "date a day off. Set it once both clocks have passed midnight"},
    {kErrClockNotFollowing, "%s time did not follow the time menu steps; the %s clock was not set"},
    {kErrFirmwareNameKind,
     "Firmware file name is not for this processor (fmcu*.hex for the MCU, fdsp*.hex for the DSP)"},
    {kErrFirmwareNameVersion, "Firmware file name carries no version number"},
    {kErrFirmwareImageEmpty, "Firmware file holds no data for this processor"},
    {kErrHexOverlap, "intel hex record overlaps an earlier record with different data"},
    {kErrRestoreStackFull, "Too many settings to put back: calibration stopped before changing another"},
    {kErrSettingNotTaken, "%s did not take a setting the calibration sent"},
    {kErrSettingNotRestored, "A setting the calibration changed could not be put back"},
    {kErrBandNotCalibrated, "Not every band was calibrated"},
    {kErrMacroTooLong, "Command macro is longer than the %s can store"},
    {kErrMacroCharacter, "Command macro holds a character the %s cannot store"},
    {kErrMacroReadBack, "The %s reads back a command macro other than the one written"},
    {kErrNetBadPortName, "A network port is named rfc2217://HOST:PORT or tcp://HOST:PORT"},
    {kErrNetNameNotFound, "The host name is not known"},
    {kErrNetRefused, "The connection was refused: nothing listens on that port"},
    {kErrNetUnreachable, "The host cannot be reached"},
    {kErrNetNoAnswer, "The host did not answer the connection"},
    {kErrNetClosed, "The connection to the radio's port was closed by the far end"},
    {kErrNetSilent, "The connection to the radio's port was lost: nothing came back from the far end"},
};

// The file-server errors the copy can report (the 12000 range).
constexpr CodeText kInternetTexts[] = {
    {kErrInternetOutOfHandles, "No more handles could be generated at this time."},
    {kErrInternetTimeout, "The operation timed out."},
    {kErrInternetExtended, "An extended error was returned from the server."},
    {kErrInternetInternal, "An internal error occurred."},
    {kErrInternetBadUrl, "The URL is invalid."},
    {kErrInternetScheme, "The URL scheme could not be recognized, or is not supported."},
    {kErrInternetResolve, "The server name could not be resolved."},
    {kErrInternetBadUserName,
     "The request to connect and log on to an FTP server could not be completed because the supplied user name "
     "is incorrect."},
    {kErrInternetBadPassword,
     "The request to connect and log on to an FTP server could not be completed because the supplied password "
     "is incorrect."},
    {kErrInternetLogin, "The request to connect to and log on to an FTP server failed."},
    {kErrInternetCancelled, "The operation was canceled."},
    {kErrInternetCannotConnect, "A connection with the server could not be established."},
    {kErrInternetAborted, "The connection with the server was terminated abnormally."},
    {kErrInternetReset, "The connection with the server was reset."},
    {kErrFtpTransferInProgress,
     "The requested operation cannot be made on the FTP session handle because an operation is already in "
     "progress."},
    {kErrFtpDropped, "The FTP operation was not completed because the session was aborted."},
    {kErrInternetBadResponse, "The server response could not be parsed."},
};

template <std::size_t N>
const char* Find(const CodeText (&table)[N], Result code) {
    for (const CodeText& entry : table) {
        if (entry.code == code) {
            return entry.text;
        }
    }
    return nullptr;
}

}  // namespace

std::string ErrorText(Result code) {
    const char* text = nullptr;
    if (IsInternetError(code)) {
        text = Find(kInternetTexts, code);
    } else if ((code & 0x0FFF0000u) == 0x02000000u) {
        text = Find(kOwnTexts, code);
    } else {
        std::string system = SystemErrorText(code);
        while (!system.empty() && (system.back() == '\r' || system.back() == '\n')) {
            system.pop_back();
        }
        return system;
    }
    return text != nullptr ? WithModelName(text) : std::string();
}

std::string ErrorCodeText(Result code) {
    return StrFormat("Error code 0x%08X: %s", code, ErrorText(code).c_str());
}

}  // namespace rm7
