#include "shell/program_icon.h"

namespace pelldrake {

QIcon programIcon()
{
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/pelldrake/icons/pelldrake-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace pelldrake
