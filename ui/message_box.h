#pragma once
// The core's boxes as modal Qt message boxes: each runs its own event loop, so call them only
// in answer to the user, never from inside a radio callback.
#include <string>

#include "model/user_notifier.h"

class QWidget;

namespace rm7 {

// A box with OK, over owner.
void ShowMessageBox(QWidget* owner, const std::string& caption, const std::string& text, MessageIcon icon);
// A Yes/No question, No by default; true for Yes.
bool AskYesNoBox(QWidget* owner, const std::string& caption, const std::string& text, MessageIcon icon);

}  // namespace rm7
