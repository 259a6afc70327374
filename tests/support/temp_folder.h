#pragma once
// A fresh folder under the system's temporary folder for one test, removed with everything in it
// (read-only folders included) when the object goes.
#include <filesystem>
#include <string_view>

namespace rm7::test {

class CTempFolder {
  public:
    CTempFolder();
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(std::string_view name) const { return m_path / name; }

  private:
    std::filesystem::path m_path;
};

}  // namespace rm7::test
