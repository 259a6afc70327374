#pragma once
// CReleaseInfoDlg: the firmware's release notes ("ffwnotes.rtf" in the firmware folder) in a
// modeless window of their own, beside the main window. It never becomes smaller than it
// opened; "Close" or Escape ends it. The main window keeps at most one.
//
// Threads: GUI thread only.
#include <QDialog>
#include <string>

#include "firmware/release_notes.h"
#include "ui/prompts.h"

class QTextBrowser;

namespace rm7 {

class CReleaseInfoDlg final : public QDialog {
  public:
    // Reads the notes of folder and shows them in a new window (deleted when closed); when they
    // cannot be read, shows the error box over boxOwner instead and returns nullptr.
    static CReleaseInfoDlg* Open(const std::string& folder, QWidget* boxOwner, const DialogPrompts& prompts);

    QTextBrowser* Browser() const { return m_browser; }
    const std::filesystem::path& Path() const { return m_path; }

  private:
    CReleaseInfoDlg(const ReleaseNotes& notes);
    void showEvent(QShowEvent* event) override;

    QTextBrowser* m_browser = nullptr;
    std::filesystem::path m_path;
    bool m_sized = false;
};

}  // namespace rm7
