#include "sim/command_line.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>

namespace rm7sim {

namespace {

constexpr const char* kDescription =
    "rm7-sim - a simulated RM7 transceiver on a pseudo-terminal.\n"
    "\n"
    "Prints the path of its serial device (e.g. /dev/pts/5) as the first line of output and\n"
    "then answers there like a radio: the command set, the EEPROM, the firmware boot loader\n"
    "and the DSP load. It answers only at its own speed, just as a real radio does, so point\n"
    "RM7 Utility or rm7util at the printed path and let it find the speed. Stop it with\n"
    "Ctrl+C.";

constexpr const char* kFooter =
    "\nExamples:\n"
    "  rm7-sim --link /tmp/rm7                  then use /tmp/rm7 as the serial port\n"
    "  rm7-sim --speed 9600 --serial 300        a radio at 9600 bit/s, serial number 00300\n"
    "  rm7-sim --boot-loader --flash-dump out   a radio waiting for firmware; the loaded\n"
    "                                           images are written to out/mcu.bin, out/dsp.bin\n"
    "  rm7-sim --faults drop=0.01,nak=0.02,seed=7   an unreliable cable\n"
    "  rm7-sim --clock-offset 3725              a radio whose clock is 1 h 2 min 5 s fast\n"
    "  rm7-sim --rx-text \"CQ CQ DE N0CALL K\"   a radio that hears a call, for the terminal\n"
    "  rm7-sim --make-firmware fw               write a firmware pair (03.00) and release notes\n"
    "                                           into fw, to load into the simulator, and exit\n"
    "\nAfter a firmware load the radio reports the version found in the loaded image after the\n"
    "marker SIMVERSION: (four digits, SIMVERSION:0288 for 02.88); without one it keeps the version\n"
    "it had.\n"
    "\nExit status: 0 when stopped, 2 on a bad option or file, 3 when the unplug fault fired.";

}  // namespace

std::optional<int> ParseCommandLine(int argc, char** argv, CommandLine& out) {
    Options& options = out.options;
    std::string mcu = "02.54";
    std::string dsp = "02.54";
    std::string faults;
    double clockOffsetSec = 0;

    CLI::App app{kDescription, "rm7-sim"};
    app.footer(kFooter);
    app.set_version_flag("--version", "rm7-sim " RM7_SIM_VERSION);
    app.add_option("--speed", options.speed, "The radio's serial speed in bit/s")
        ->check(CLI::IsMember({4800, 9600, 19200, 38400, 57600, 115200}))
        ->default_val(38400)
        ->type_name("BPS");
    app.add_option("--serial", options.serial, "Serial number, stored in a new EEPROM (0-65535)")
        ->default_val(1234)
        ->type_name("N");
    app.add_option("--mcu", mcu, "Main processor firmware version")->default_val("02.54")->type_name("VV.VV");
    app.add_option("--dsp", dsp, "Signal processor firmware version")->default_val("02.54")->type_name("VV.VV");
    app.add_option("--eeprom", options.eepromFile,
                   "EEPROM image (33792 bytes): loaded at start, saved after every write; created\n"
                   "erased (0xFF) with the serial number when missing")
        ->type_name("FILE");
    app.add_flag("--boot-loader", options.bootLoader, "Start in the boot loader, waiting for a firmware load");
    app.add_flag("--transmitting", options.transmitting,
                 "Start with the TUNE carrier keyed, as a program stopped while it transmitted leaves it");
    app.add_option("--mid-packet", options.midPacket,
                   "Start in the boot loader in the middle of a firmware download, N bytes of a\n"
                   "packet already received, as an interrupted load leaves it")
        ->check(CLI::Range(1, 131))
        ->type_name("N");
    app.add_option("--device", options.device, "Identify as another device: RM7, RM6, R5 or any name")
        ->default_val("RM7")
        ->type_name("NAME");
    app.add_option("--flash-dump", options.flashDumpDir,
                   "After each firmware load write the received image to DIR/mcu.bin (0x800-0x1FD7F)\n"
                   "or DIR/dsp.bin")
        ->type_name("DIR");
    app.add_option("--faults", faults,
                   "Faults on demand, e.g. drop=0.01,nak=0.02,garble=0.005,lose=0.001,seed=7,unplug=40:\n"
                   "lost answers, rejected packets, damaged answer bytes, lost packet bytes, the\n"
                   "random seed, and the radio vanishing after that many loader packets\n"
                   "(unplug=reset: as it takes the reset command that ends a load or a restore;\n"
                   "unplug=tune: as it keys its TUNE carrier, left transmitting; unplug=blocks:N:\n"
                   "after N configuration blocks read or written), and on a band 0-10\n"
                   "txpower=BAND (the displayed power never settles), swr=BAND (SWR 3.2:1) or\n"
                   "tunestop=BAND (the TUNE carrier drops after its first power reading) or\n"
                   "outofband=BAND (the power display reads END: the radio may not transmit there);\n"
                   "garble=CMD[:N]: the N-th answer to CMD (e.g. BN for \"BN;\") has a digit turned\n"
                   "into a letter, once")
        ->type_name("LIST");
    app.add_option("--latency", options.latencyMs, "Delay before each answer, in ms")->type_name("MS");
    app.add_flag("--pace", options.pace, "Send answers at the wire speed of the current baud rate");
    app.add_option("--record", options.recordFile, "Write every byte in and out, with times, to FILE")
        ->type_name("FILE");
    app.add_option("--state", out.stateFile,
                   "Keep FILE holding the radio's settings (band, VFOs, RIT, XIT, antenna, power, menu\n"
                   "parameters), whether it is transmitting and the carriers keyed so far; rewritten\n"
                   "whenever one changes and at exit")
        ->type_name("FILE");
    app.add_option("--clock-offset", clockOffsetSec,
                   "Start the radio's clock this many seconds ahead of the computer's UTC time\n"
                   "(negative: behind)")
        ->check(CLI::Range(-864000.0, 864000.0))
        ->type_name("SEC");
    app.add_option("--rx-text", options.rxText,
                   "Text the radio decodes, reported to the text terminal (\"TB;\") one character\n"
                   "every --rx-char-ms from the first byte the radio hears")
        ->type_name("TEXT");
    app.add_option("--rx-char-ms", options.rxCharMs, "How long the radio takes to decode a character (default 50)")
        ->type_name("MS");
    app.add_option("--tx-char-ms", options.txCharMs,
                   "How long a character handed over with \"KY\" takes on the air (default 100)")
        ->type_name("MS");
    app.add_option("--link", out.linkPath, "Also create a symlink PATH to the device (removed at exit)")
        ->type_name("PATH");
    app.add_option("--make-firmware", out.makeFirmwareDir,
                   "Write fmcu0300.hex, fdsp0300.hex and ffwnotes.rtf into DIR and exit: firmware\n"
                   "newer than the simulator's own, for trying a copy and a load without a radio")
        ->type_name("DIR");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? 0 : 2;
    }
    options.clockOffsetMs = std::llround(clockOffsetSec * 1000);
    std::string error;
    if (!ParseVersion(mcu, options.mcuVersion) || !ParseVersion(dsp, options.dspVersion)) {
        std::fprintf(stderr, "rm7-sim: a version is two digits, a point and two digits, e.g. 02.54\n");
        return 2;
    }
    if (!ParseFaults(faults, options.faults, error)) {
        std::fprintf(stderr, "rm7-sim: --faults: %s\n", error.c_str());
        return 2;
    }
    return std::nullopt;
}

}  // namespace rm7sim
