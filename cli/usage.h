#pragma once
// How rm7util meets a person at a terminal: usage mistakes said plainly with exit status 2, the
// conventions every command's help repeats, and a failure under --json given as one JSON object.
#include <CLI/CLI.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "cli/environment.h"
#include "cli/session.h"

namespace rm7::cli {

// --timeout: whole or fractional seconds from 1 to 3600.
CLI::Validator TimeoutValidator();

// The help of --simulate: where this system's rm7util runs the simulated radio (each system's
// process_environment.cpp says).
extern const char* const kSimulateHelp;

// Gives every command's help the global options and the exit statuses. Call once all commands
// are added.
void DescribeConventions(CLI::App& app);

// The edit distance between two words; the nearest command is suggested for a misspelt one.
std::size_t EditDistance(std::string_view a, std::string_view b);
// The candidate nearest to word, or "" when none is close enough to be a likely misspelling.
std::string NearestWord(std::string_view word, const std::vector<std::string>& candidates);

// Help and version go to out with status 0; any other parse failure is said on err with
// status 2.
int ReportParseError(CLI::App& app, const CLI::ParseError& error, std::ostream& out, std::ostream& err);

// `rm7util help COMMAND...`: that command's help on out (the program's with no words), with all
// every command's under it too; an unknown command is said on err with status 2.
int PrintCommandHelp(CLI::App& app, const std::vector<std::string>& words, bool all, std::ostream& out,
                     std::ostream& err);

// The environment the commands are given: the program's own, noting whether anything went to
// standard output.
class CCommandEnvironment final : public IEnvironment {
  public:
    explicit CCommandEnvironment(IEnvironment& inner);
    bool OutWritten() const { return m_buf.Written(); }

    std::ostream& Out() override { return m_out; }
    std::ostream& Err() override { return m_inner.Err(); }
    bool ErrIsTerminal() const override { return m_inner.ErrIsTerminal(); }
    IRunLoop& Loop() override { return m_inner.Loop(); }
    std::unique_ptr<ISerialPort> MakePort() override { return m_inner.MakePort(); }
    Result StartSimulator(const std::string& extraArgs, std::string& device) override {
        return m_inner.StartSimulator(extraArgs, device);
    }
    Result MakeFirmware(const std::filesystem::path& dir) override { return m_inner.MakeFirmware(dir); }
    std::int64_t WallClockMs() override { return m_inner.WallClockMs(); }

  private:
    class CNotingBuf final : public std::streambuf {
      public:
        explicit CNotingBuf(std::streambuf* target) : m_target(target) {}
        bool Written() const { return m_written; }

      protected:
        int_type overflow(int_type ch) override {
            if (traits_type::eq_int_type(ch, traits_type::eof())) {
                return traits_type::not_eof(ch);
            }
            m_written = true;
            return m_target->sputc(traits_type::to_char_type(ch));
        }
        std::streamsize xsputn(const char* s, std::streamsize n) override {
            m_written = m_written || n > 0;
            return m_target->sputn(s, n);
        }
        int sync() override { return m_target->pubsync(); }

      private:
        std::streambuf* m_target;
        bool m_written = false;
    };

    IEnvironment& m_inner;
    CNotingBuf m_buf;
    std::ostream m_out;
};

// Runs a command. A fault that throws is said rather than ending the program; under --json a
// failure that printed nothing on standard output prints {"error": {"code", "text"}} there.
// name: the command's words ("config restore"), which its failures are said under.
int RunCommand(CCommandEnvironment& env, const GlobalOptions& options, const std::string& name,
               const std::function<int()>& run);
// The words that name a command below rm7util ("config restore").
std::string CommandName(const CLI::App& command);

}  // namespace rm7::cli
