#include "ui/prompts.h"

#include <QMessageBox>

#include "ui/message_box.h"
#include "ui/qt_text.h"

namespace rm7 {
Answer AskQuestionBox(QWidget* owner, const Question& question) {
    const auto buttons = question.withCancel ? QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel
                                             : QMessageBox::Yes | QMessageBox::No;
    QMessageBox box(BoxIcon(question.icon), Text(question.caption), BoxText(question.text), buttons, owner);
    box.setDefaultButton(question.withCancel ? QMessageBox::Cancel : QMessageBox::No);
    const int answer = box.exec();
    if (answer == QMessageBox::Yes) {
        return Answer::Yes;
    }
    return answer == QMessageBox::No ? Answer::No : Answer::Cancel;
}

DialogPrompts DialogPrompts::Qt(HelpOpener help) {
    DialogPrompts prompts;
    prompts.show = ShowMessageBox;
    prompts.ask = AskQuestionBox;
    prompts.help = std::move(help);
    return prompts;
}

}  // namespace rm7
