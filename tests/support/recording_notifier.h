#pragma once
// Test double of the user notifier: records every status text, box and question, and answers
// questions with a scripted value.
#include <string>
#include <vector>

#include "model/user_notifier.h"

namespace rm7::test {

class CRecordingNotifier final : public IUserNotifier {
  public:
    struct Box {
        std::string caption;
        std::string text;
        MessageIcon icon;
        bool question;
    };

    explicit CRecordingNotifier(bool answer = false) : answer(answer) {}

    void StatusText(const std::string& text) override {
        status.push_back(text);
        shown.push_back(text);
    }
    void MessageBox(const std::string& caption, const std::string& text, MessageIcon icon) override {
        boxes.push_back({caption, text, icon, false});
        shown.push_back(text);
    }
    bool AskYesNo(const std::string& caption, const std::string& text, MessageIcon icon) override {
        boxes.push_back({caption, text, icon, true});
        return answer;
    }

    // The message boxes, questions left out, each as "caption: text".
    std::vector<std::string> BoxLines() const {
        std::vector<std::string> lines;
        for (const Box& box : boxes) {
            if (!box.question) {
                lines.push_back(box.caption + ": " + box.text);
            }
        }
        return lines;
    }
    void Clear() {
        status.clear();
        shown.clear();
        boxes.clear();
    }

    std::vector<std::string> status;  // the status line's texts
    std::vector<std::string> shown;   // the status line's texts and the message boxes' texts, in order
    std::vector<Box> boxes;           // message boxes and questions, in order
    bool answer;
};

}  // namespace rm7::test
