#pragma once
// The boxes, questions, file dialogs and help a job's dialog shows. Every dialog takes one; by
// default they are Qt's, and tests replace them with recorders. Only ask and the file dialogs
// may wait for the user: show is called from the event loop, never inside a radio callback.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "model/user_notifier.h"
#include "ui/help_opener.h"

class QWidget;

namespace rm7 {

struct DialogPrompts {
    std::function<void(QWidget* owner, const std::string& caption, const std::string& text, MessageIcon icon)> show;
    std::function<Answer(QWidget* owner, const Question& question)> ask;
    std::function<std::optional<std::filesystem::path>(QWidget* owner, const std::filesystem::path& folder,
                                                       const std::string& proposedName)>
        saveFile;
    std::function<std::optional<std::filesystem::path>(QWidget* owner, const std::filesystem::path& folder)> openFile;
    HelpOpener help;

    // Qt's boxes; help as given (none by default). The file dialogs are the job's to add: only
    // it knows which files it takes.
    static DialogPrompts Qt(HelpOpener help = {});
};

// A question's answer as a box shows it: Yes, No, or Cancel where it is offered.
Answer AskQuestionBox(QWidget* owner, const Question& question);

}  // namespace rm7
