#include "ui/message_box.h"

#include <QMessageBox>

#include "ui/qt_text.h"

namespace rm7 {

void ShowMessageBox(QWidget* owner, const std::string& caption, const std::string& text, MessageIcon icon) {
    QMessageBox box(BoxIcon(icon), Text(caption), BoxText(text), QMessageBox::Ok, owner);
    box.exec();
}

bool AskYesNoBox(QWidget* owner, const std::string& caption, const std::string& text, MessageIcon icon) {
    QMessageBox box(BoxIcon(icon), Text(caption), BoxText(text), QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace rm7
