#pragma once
// --simulate's firmware: a firmware folder and a file:// mirror for this run only, filled by
// the simulator's own maker, so that every firmware button does something real without a radio
// or the internet. The saved folder and file server are never touched; the scratch tree goes
// with the object.
#include <filesystem>
#include <functional>
#include <string>

#include "platform/result.h"

namespace rm7 {

class CSimulatedFirmware {
  public:
    // Writes a firmware pair and release notes into a folder (see MakeSimulatedFirmware).
    using Maker = std::function<Result(const std::filesystem::path& dir)>;

    CSimulatedFirmware() = default;
    ~CSimulatedFirmware();
    CSimulatedFirmware(const CSimulatedFirmware&) = delete;
    CSimulatedFirmware& operator=(const CSimulatedFirmware&) = delete;

    // Makes the scratch tree in the temporary folder. The mirror always holds the made firmware;
    // the firmware folder too when fillFolder, else it starts empty (copying from the mirror
    // then has something to do). On failure nothing is left behind.
    Result Create(const Maker& make, bool fillFolder);

    bool Created() const { return !m_root.empty(); }
    std::filesystem::path Folder() const;
    // "file:///tmp/rm7-simulate-XXXXXX/mirror", below which lies "RM7/firmware".
    std::string ServerUrl() const;
    // The simulated radio's configuration backups (made when first written to).
    std::filesystem::path BackupFolder() const;

  private:
    void Remove();

    std::filesystem::path m_root;
};

}  // namespace rm7
