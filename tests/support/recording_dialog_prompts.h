#pragma once
// The prompt recorder as a dialog's prompts (ui/prompts.h): what a dialog would show over
// itself goes to the recorder, with whether the dialog was still on screen.
#include <QString>
#include <QWidget>

#include "tests/support/recording_prompts.h"
#include "ui/prompts.h"

namespace rm7::test {

inline DialogPrompts RecordingDialogPrompts(CRecordingPrompts& recorder) {
    DialogPrompts p;
    p.show = [&recorder](QWidget* owner, const std::string& caption, const std::string& text, MessageIcon icon) {
        recorder.Show(caption, text, icon, owner != nullptr && owner->isVisible());
    };
    p.ask = [&recorder](QWidget*, const Question& question) { return recorder.Ask(question); };
    p.saveFile = [&recorder](QWidget*, const std::filesystem::path& folder, const std::string& name) {
        return recorder.SaveFile(folder, name);
    };
    p.openFile = [&recorder](QWidget*, const std::filesystem::path& folder) { return recorder.OpenFile(folder); };
    p.help = [&recorder](const QString& topic) { recorder.Help(topic.toStdString()); };
    return p;
}

}  // namespace rm7::test
