#pragma once
// CTabView: the main window's pages, in their fixed order (Port, Firmware, Configuration,
// Calibration, Command Tester, Terminal; those that are built). It tells a page when it is
// selected and when it stops being selected, and makes the selected page the model's idle
// target, so the timer ticks and serial notices that no busy machine takes reach it.
#include <QTabWidget>

#include <functional>
#include <vector>

#include "ui/help_opener.h"
#include "ui/page.h"

namespace rm7 {

class CTabView final : public QTabWidget {
  public:
    // help opens the main window's help; the pages hand it to their dialogs.
    CTabView(CRadioSession& session, HelpOpener help, QWidget* parent = nullptr);
    ~CTabView() override;

    // Selects the page with this fixed index; false (and nothing changes) when it is not built.
    bool SelectPage(int index);
    CPage* CurrentPage() const;
    // The fixed index of the selected page.
    int CurrentPageIndex() const;
    CPage* Page(int index) const;
    const std::vector<CPage*>& Pages() const { return m_pages; }
    // Called when the selection moves on, before the new page is told: what the old page said
    // in the status bar does not stay under the new one.
    std::function<void()> onPageLeft;

  private:
    void OnCurrentChanged(int tab);

    CRadioSession& m_session;
    CModel& m_model;
    std::vector<CPage*> m_pages;
    CPage* m_active = nullptr;
};

}  // namespace rm7
