#pragma once
// The program's icon, painted: the same drawing as resources/icons/rm7-utility.svg, which the
// desktop uses, without needing an SVG reader at run time.
#include <QIcon>

namespace rm7 {

QIcon AppIcon();

}  // namespace rm7
