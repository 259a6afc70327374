#pragma once
// CPortPage: the choice of the radio's serial port and speed, "Test Communications" and
// "Close Port". The decisions are CPortPageLogic's; this view shows the lists and forwards
// what the user does. While selected it observes the port name, the port state and the
// machines' ends.
#include <QComboBox>

#include <functional>
#include <vector>

#include "link/port_page_logic.h"
#include "ui/page.h"
#include "ui/prompts.h"

class QLabel;
class QPushButton;

namespace rm7 {

// The port list refills itself each time it drops down, so an adapter plugged in a moment ago
// is there to choose.
class CPortComboBox final : public QComboBox {
  public:
    using QComboBox::QComboBox;
    std::function<void()> onDropDown;
    void showPopup() override {
        if (onDropDown) {
            onDropDown();
        }
        QComboBox::showPopup();
    }
};

class CPortPage final : public CPage {
  public:
    explicit CPortPage(CRadioSession& session, QWidget* parent = nullptr);
    ~CPortPage() override;

    int Index() const override;
    QString Title() const override { return QStringLiteral("Port"); }
    QString HelpTopic() const override { return QStringLiteral("Port.htm"); }
    void OnSetActive() override;
    void OnKillActive() override;
    QWidget* InitialFocus() override;
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override;

    // The boxes and the system the access-denied diagnosis uses (Qt's and the real one by default).
    void SetPrompts(DialogPrompts prompts) { m_prompts = std::move(prompts); }
    void SetDoctorSystem(DoctorSystem system) { m_doctorSystem = std::move(system); }

    CPortComboBox* PortList() const { return m_portList; }
    QComboBox* SpeedList() const { return m_speedList; }
    QPushButton* TestButton() const { return m_test; }
    QPushButton* CloseButton() const { return m_close; }

  private:
    // Fills the port list from the machine's devices and selects the model's port.
    void FillPortList();
    void SelectModelPort();
    void OnPortActivated(int index);
    void OnPortTyped();
    void OnTestCommunications();
    // Offers, and on Yes shows, the doctor's findings on a port that could not be had.
    void OfferDiagnosis(Result result);

    CPortPageLogic m_logic;
    DialogPrompts m_prompts = DialogPrompts::Qt();
    DoctorSystem m_doctorSystem = LocalDoctorSystem();
    std::vector<PortListEntry> m_entries;
    CPortComboBox* m_portList = nullptr;
    QComboBox* m_speedList = nullptr;
    QPushButton* m_test = nullptr;
    QPushButton* m_close = nullptr;
    CObservation m_portName;
    CObservation m_portState;
    CObservation m_portEvent;
};

}  // namespace rm7
