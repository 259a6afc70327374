#include "app/tab_view.h"

#include <utility>

#include "config/ui/configuration_page.h"
#include "firmware/ui/firmware_page.h"
#include "link/ui/port_page.h"
#include "terminal/ui/command_tester_page.h"
#include "terminal/ui/terminal_page.h"
#include "txgain/ui/calibration_page.h"

namespace rm7 {

CTabView::CTabView(CRadioSession& session, HelpOpener help, QWidget* parent)
    : QTabWidget(parent), m_session(session), m_model(session.Model()) {
    setObjectName("tabView");
    setDocumentMode(false);
    m_pages.push_back(new CPortPage(session));
    m_pages.push_back(new CFirmwarePage(session));
    m_pages.push_back(new CConfigurationPage(session, help));
    m_pages.push_back(new CCalibrationPage(session, help));
    m_pages.push_back(new CCommandTesterPage(session, DialogPrompts::Qt(help)));
    m_pages.push_back(new CTerminalPage(session, std::move(help)));
    for (CPage* page : m_pages) {
        addTab(page, page->Title());
    }
    connect(this, &QTabWidget::currentChanged, this, &CTabView::OnCurrentChanged);
}

CTabView::~CTabView() {
    if (m_active != nullptr) {
        m_active->OnKillActive();
        m_active = nullptr;
    }
    m_session.SetIdleTarget(nullptr);
}

bool CTabView::SelectPage(int index) {
    CPage* page = Page(index);
    if (page == nullptr) {
        return false;
    }
    if (currentWidget() == page) {
        OnCurrentChanged(currentIndex());  // the first selection activates the page too
    } else {
        setCurrentWidget(page);
    }
    return true;
}

CPage* CTabView::CurrentPage() const {
    return static_cast<CPage*>(currentWidget());
}

int CTabView::CurrentPageIndex() const {
    const CPage* page = CurrentPage();
    return page != nullptr ? page->Index() : 0;
}

CPage* CTabView::Page(int index) const {
    for (CPage* page : m_pages) {
        if (page->Index() == index) {
            return page;
        }
    }
    return nullptr;
}

void CTabView::OnCurrentChanged(int tab) {
    CPage* page = static_cast<CPage*>(widget(tab));
    if (page == m_active) {
        return;
    }
    if (m_active != nullptr) {
        m_active->OnKillActive();
        if (onPageLeft) {
            onPageLeft();
        }
    }
    m_active = page;
    m_session.SetIdleTarget(page);
    if (page != nullptr) {
        page->OnSetActive();
        if (QWidget* focus = page->InitialFocus()) {
            focus->setFocus(Qt::TabFocusReason);
        }
    }
}

}  // namespace rm7
