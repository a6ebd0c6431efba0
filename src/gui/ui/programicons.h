#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

namespace keldor {

// The program's own drawing of "sat.ico", "check.ico" or "cross.ico" in a square of size
// pixels; a null image for any other name. The build writes these beside the executable, and the
// program paints them itself wherever it runs without them.
QImage paintedIcon(const QString &fileName, int size = 64);

// The icon of that name from the program folder when it holds a readable one, so a replaced
// icon shows at once, else from an installed copy's data folder; else the painted one.
QIcon programIcon(const QString &fileName);

} // namespace keldor
