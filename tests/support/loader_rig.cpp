#include "tests/support/loader_rig.h"

#include <gtest/gtest.h>

#include "link/contact.h"
#include "link/radio_session.h"

namespace rm7::test {

bool CLoaderRig::Run(CLoaderJob& job, std::uint32_t maxMs) {
    job.Start();
    return pump.AdvanceUntil([&job] { return job.Finished(); }, maxMs);
}

void CScriptedRadio::Attach(CScriptedPort& port) {
    m_port = &port;
    m_mode = bootLoader ? Mode::BootLoader : Mode::Firmware;
    port.script = [this](const std::string& written, std::uint32_t) { return Answer(written); };
}

std::string CScriptedRadio::PieceAnswer(bool last) {
    const std::size_t n = pieces.size() - 1;
    if (pieces.size() >= failWritesAfterPieces) {
        m_port->writeError = kErrorAccessDenied;
    }
    if (n < pieceAnswers.size()) {
        return pieceAnswers[n];
    }
    return last ? "B" : "A";
}

std::string CScriptedRadio::PollAnswer() {
    const std::size_t n = polls++;
    return n < pollAnswers.size() ? pollAnswers[n] : "N";
}

std::string CScriptedRadio::Answer(const std::string& written) {
    if (silent) {
        return "";
    }
    if (m_mode == Mode::Mcu) {
        if (written == ";") {
            return PollAnswer();
        }
        if (written.size() == kMcuPacketSize) {
            pieces.push_back(written);
            const bool last = written.compare(128, 3, std::string("\x00\x08\x02", 3)) == 0;
            std::string answer = PieceAnswer(last);
            if (answer.find('B') != std::string::npos) {
                m_mode = Mode::Firmware;  // the new firmware starts
            }
            return answer;
        }
        return "";
    }
    if (m_mode == Mode::Dsp) {
        if (written == ";") {
            return PollAnswer();
        }
        if (written == "LDD20000;") {
            m_mode = Mode::Firmware;
            return "";
        }
        if (written.size() == 9 && written.rfind("LDF2", 0) == 0) {
            announcements.push_back(written);
            return "";
        }
        pieces.push_back(written);
        return PieceAnswer(false);
    }
    if (m_mode == Mode::BootLoader) {
        if (written == ";") {
            return ";";
        }
        if (written == "I;") {
            return "IRM7 Bootstrap Loader;";
        }
        if (written == "D") {
            m_mode = Mode::Mcu;
            return echoD ? "D" : "";
        }
        return "";
    }
    if (written == ";") {
        return ";";
    }
    if (written == "I;") {
        return "?;";
    }
    if (written == "OM;") {
        return optionModules;
    }
    if (written == "RVM;") {
        return "RVM" + mcuVersion + ";";
    }
    if (written == "RVD;") {
        return "RVD" + dspVersion + ";";
    }
    if (written == "TQ;") {
        return "TQ0;";
    }
    if (written == "ER83FA0281;") {
        return "ER83FA0204D2AB;";  // serial number 1234
    }
    if (written == "LDM;") {
        m_mode = Mode::BootLoader;
        return "";
    }
    if (written == "LDF2;") {
        m_mode = Mode::Dsp;
        return "";
    }
    return written == "TT0;" ? "" : "?;";
}

}  // namespace rm7::test
