#pragma once
// A control that needs the radio: enabled while the radio can do what it does, otherwise
// disabled with the reason (RadioActionBlocker) in its tooltip. Every page uses this, so the
// same state disables the same kind of action with the same words.
#include <QWidget>

#include "model/radio_presence.h"

namespace rm7 {

// The control's own tooltip is kept the first time and shown again once it is enabled.
// extraBlocker: a reason of the page's own (a job running), taken when the radio is ready.
void ApplyRadioNeed(QWidget* control, const CModel& model, RadioNeed need, const std::string& extraBlocker = {});

}  // namespace rm7
