#pragma once
// The core's texts (UTF-8, lines ended with CR LF as the system's message table has them)
// as the Qt views show them.
#include <QMessageBox>
#include <QString>
#include <string>

#include "model/user_notifier.h"

namespace rm7 {

inline QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// A message box wants LF alone, and no trailing line break.
inline QString BoxText(const std::string& utf8) {
    QString out = Text(utf8);
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return out.trimmed();
}

inline QMessageBox::Icon BoxIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Question:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

}  // namespace rm7
