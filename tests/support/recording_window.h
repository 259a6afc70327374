#pragma once
// Test double of a window: collects the log lines, completion notices and other messages sent to it.
#include <cstdint>
#include <string>
#include <vector>

#include "model/messages.h"
#include "platform/message_pump.h"
#include "platform/result.h"

namespace rm7::test {

// Collects log lines and completion notices sent to a window.
class CRecordingWindow final : public IMessageTarget {
  public:
    LResult OnMessage(std::uint32_t code, WParam wParam, LParam lParam) override {
        if (code == kMsgLogLine) {
            log.push_back(*reinterpret_cast<const std::string*>(lParam));
        } else if (code == kMsgPortEvent) {
            completions.push_back(static_cast<Result>(wParam));
        } else {
            messages.push_back(code);
        }
        return 0;
    }
    std::vector<std::string> log;
    std::vector<Result> completions;
    std::vector<std::uint32_t> messages;
};

}  // namespace rm7::test
