#pragma once
// The program icon, from the PNG sizes rendered from packaging/icons/pelldrake.svg
// and compiled into the program, so it shows without an installed icon theme.
#include <QIcon>

namespace pelldrake {

QIcon programIcon();

} // namespace pelldrake
