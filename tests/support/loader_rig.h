#pragma once
// The loader tests' rig: the radio bench with the one recording view of the job shell, and a
// scripted radio for the loaders.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "firmware/loader_job.h"
#include "tests/support/radio_bench.h"
#include "tests/support/recording_job_view.h"
#include "tests/support/scripted_port.h"

namespace rm7::test {

// The bench with what a load needs besides: the view its job tells (its progress, log lines and
// outcome).
class CLoaderRig : public CRadioBench {
  public:
    // On the in-process simulated radio.
    explicit CLoaderRig(const rm7sim::Options& options) : CRadioBench(options) {}
    // On a scripted port; the test writes scriptedPort->script.
    CLoaderRig() : CRadioBench(OnScriptedPort{}) {}

    // Starts the job and runs virtual time until it finishes; false when it did not
    // finish within maxMs.
    bool Run(CLoaderJob& job, std::uint32_t maxMs = 3'600'000);

    CRecordingJobView view;
    std::vector<std::string>& log = view.log;  // the job's log lines
};

// A radio on the scripted port: its firmware answers what a contact and the loaders ask,
// its loaders answer pieces (MCU packets, DSP chunks) and fill bytes as the test says.
class CScriptedRadio {
  public:
    // Answers to the first sends of pieces ("A", "N", "C", "" for silence), then the
    // acknowledgement ('B' for the last MCU packet).
    std::vector<std::string> pieceAnswers;
    // Answers to the first ';' fill bytes of the load, then "N".
    std::vector<std::string> pollAnswers;
    bool bootLoader = false;
    bool echoD = true;
    bool silent = false;
    std::string optionModules = "OM AP---------2;";
    std::string mcuVersion = "02.88";
    std::string dspVersion = "02.88";
    // Fails every write once this many pieces have been sent (the cable is pulled).
    std::size_t failWritesAfterPieces = SIZE_MAX;

    std::vector<std::string> pieces;         // in the order sent (DSP: the chunk data)
    std::vector<std::string> announcements;  // DSP chunk announcements
    std::size_t polls = 0;

    void Attach(CScriptedPort& port);

  private:
    std::string Answer(const std::string& written);
    std::string PieceAnswer(bool last);
    std::string PollAnswer();

    enum class Mode { Firmware, BootLoader, Mcu, Dsp } m_mode = Mode::Firmware;
    CScriptedPort* m_port = nullptr;
};

}  // namespace rm7::test
