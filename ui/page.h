#pragma once
// A page of the main window's tab view. A page is a message target: while it is the selected
// page it receives the timer ticks and serial notices that no busy machine takes (the model
// routes them), and the values it observes.
//
// Threads: GUI thread only. The tab view tells a page when it becomes the selected one and when
// it stops being it; a page observes the model only in between, so a hidden page is never told.
#include <QString>
#include <QWidget>

#include "link/radio_session.h"
#include "model/model.h"
#include "platform/message_pump.h"

namespace rm7 {

class CPage : public QWidget, public IMessageTarget {
  public:
    CPage(CRadioSession& session, QWidget* parent = nullptr)
        : QWidget(parent), m_session(session), m_model(session.Model()) {}
    ~CPage() override { m_model.Pump().Forget(this); }
    CPage(const CPage&) = delete;
    CPage& operator=(const CPage&) = delete;

    // The page's fixed index (PageIndex), its tab title and its help topic ("Port.htm").
    virtual int Index() const = 0;
    virtual QString Title() const = 0;
    virtual QString HelpTopic() const = 0;
    // The page became the selected page; it stops being it.
    virtual void OnSetActive() {}
    virtual void OnKillActive() {}
    // The control that has the focus when the page is selected.
    virtual QWidget* InitialFocus() { return nullptr; }

    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override {
        (void)code;
        (void)wParam;
        (void)lParam;
        return 0;
    }

  protected:
    CModel& Model() const { return m_model; }
    CRadioSession& Session() const { return m_session; }

  private:
    CRadioSession& m_session;
    CModel& m_model;
};

}  // namespace rm7
