#pragma once
// The one prompt recorder of the tests: the boxes a job's dialog shows and the questions it asks
// are recorded, not shown; questions take the queued answers in turn (then `answer`), and the
// file dialogs choose `file`. Qt-free: tests/support/recording_dialog_prompts.h serves it as a
// dialog's prompts, SaveFileDialog() and FileAndQuestion() as a job's own.
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/user_notifier.h"

namespace rm7::test {

class CRecordingPrompts {
  public:
    struct Box {
        std::string caption;
        std::string text;
        MessageIcon icon;
        bool ownerVisible;  // whether the window it was shown over was still on screen
    };

    void Show(const std::string& caption, const std::string& text, MessageIcon icon, bool ownerVisible = true) {
        shown.push_back({caption, text, icon, ownerVisible});
    }
    Answer Ask(const Question& question) {
        asked.push_back(question);
        if (answers.empty()) {
            return answer;
        }
        const Answer next = answers.front();
        answers.pop_front();
        return next;
    }
    std::optional<std::filesystem::path> OpenFile(const std::filesystem::path& folder) {
        askedFolder = folder;
        return file;
    }
    std::optional<std::filesystem::path> SaveFile(const std::filesystem::path& folder, const std::string& name) {
        askedFolder = folder;
        proposed = name;
        return file;
    }
    void Help(const std::string& topic) { helpTopics.push_back(topic); }

    // A job's own save-file dialog: (folder, proposed name) -> the file.
    std::function<std::optional<std::filesystem::path>(const std::filesystem::path&, const std::string&)>
    SaveFileDialog() {
        return [this](const std::filesystem::path& folder, const std::string& name) { return SaveFile(folder, name); };
    }
    // A job's own prompts with openFile(folder) and askNow(caption, text, icon) -> yes.
    template <typename JobPrompts>
    JobPrompts FileAndQuestion() {
        JobPrompts p;
        p.openFile = [this](const std::filesystem::path& folder) { return OpenFile(folder); };
        p.askNow = [this](const std::string& caption, const std::string& text, MessageIcon icon) {
            return Ask({caption, text, icon}) == Answer::Yes;
        };
        return p;
    }

    // Each shown box as "caption: text".
    std::vector<std::string> ShownLines() const {
        std::vector<std::string> out;
        for (const Box& box : shown) {
            out.push_back(box.caption + ": " + box.text);
        }
        return out;
    }
    std::vector<std::string> AskedCaptions() const {
        std::vector<std::string> out;
        for (const Question& q : asked) {
            out.push_back(q.caption);
        }
        return out;
    }

    // What the test gives.
    std::deque<Answer> answers;  // to the next questions, in turn
    Answer answer = Answer::No;  // to every question once none is queued
    std::optional<std::filesystem::path> file;

    // What was asked and shown.
    std::vector<Box> shown;
    std::vector<Question> asked;
    std::filesystem::path askedFolder;
    std::string proposed;
    std::vector<std::string> helpTopics;
};

}  // namespace rm7::test
