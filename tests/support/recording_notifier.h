#pragma once
// Test double of the user notifier: records every box and question and answers questions
// with a scripted value.
#include <string>
#include <vector>

#include "model/user_notifier.h"

namespace rm7 {

class CRecordingNotifier final : public IUserNotifier {
  public:
    struct Box {
        std::string caption;
        std::string text;
        MessageIcon icon;
        bool question;
    };

    explicit CRecordingNotifier(bool answer = false) : m_answer(answer) {}

    void StatusText(const std::string& text) override { status.push_back(text); }
    void MessageBox(const std::string& caption, const std::string& text, MessageIcon icon) override {
        boxes.push_back({caption, text, icon, false});
    }
    bool AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon) override {
        boxes.push_back({caption, text, icon, true});
        return m_answer;
    }

    std::vector<std::string> status;
    std::vector<Box> boxes;

  private:
    bool m_answer;
};

}  // namespace rm7
