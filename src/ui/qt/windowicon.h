// The program's window icon, drawn in code: a bell with two signal arcs.
#pragma once

#include <QIcon>

namespace tw {

QIcon TellwickIcon();

}  // namespace tw
