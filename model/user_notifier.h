#pragma once
// How the core speaks to the person at the radio: a status line and message boxes.
// The GUI shows them in its status bar and in (deferred) message boxes; rm7util
// prints them on standard error. Called on the UI thread only.
#include <string>

namespace rm7 {

enum class MessageIcon { Error, Warning, Information, Question };

// A question a job asks the user, in answer to the user's own action (a button, a close),
// never from inside a radio callback. Without Cancel, No is the default answer; with it,
// Cancel is.
struct Question {
    std::string caption;
    std::string text;
    MessageIcon icon = MessageIcon::Warning;
    bool withCancel = false;
};
enum class Answer { Yes, No, Cancel };

class IUserNotifier {
  public:
    virtual ~IUserNotifier() = default;
    virtual void StatusText(const std::string& text) = 0;
    // Shows the text in a box with the caption; its text also goes to the status line.
    virtual void MessageBox(const std::string& caption, const std::string& text, MessageIcon icon) = 0;
    // A yes/no question asked before a job starts (never from inside a radio callback).
    virtual bool AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon) = 0;
};

}  // namespace rm7
