#pragma once
// Opens the program's help at a topic ("EditCWMemories.htm", "Configuration.htm#SetDateTime").
// The main window hands one down to its pages and their dialogs, so none of them needs to know
// which window shows the help. An empty opener shows nothing.
#include <QString>
#include <functional>

namespace rm7 {

using HelpOpener = std::function<void(const QString& topic)>;

}  // namespace rm7
