#include "ui/radio_action.h"

#include <QVariant>

namespace rm7 {

void ApplyRadioNeed(QWidget* control, const CModel& model, RadioNeed need, const std::string& extraBlocker) {
    static constexpr const char* kOwnTip = "rm7OwnToolTip";
    if (!control->property(kOwnTip).isValid()) {
        control->setProperty(kOwnTip, control->toolTip());
    }
    std::string blocker = RadioActionBlocker(model, need);
    if (blocker.empty()) {
        blocker = extraBlocker;
    }
    control->setEnabled(blocker.empty());
    control->setToolTip(blocker.empty() ? control->property(kOwnTip).toString() : QString::fromStdString(blocker));
}

}  // namespace rm7
