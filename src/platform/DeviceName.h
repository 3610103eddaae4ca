// Windows' reserved device names. Pure, so that it is tested on every build.
#pragma once

#include <string_view>

// Whether a path's last component names a device on Windows rather than a file: CON, PRN, AUX,
// NUL, COM0-9, LPT0-9 (also with a superscript digit), CONIN$ and CONOUT$, in any case, with any
// extension and with trailing spaces or dots ("aux.lang", "Com1.tar.gz", "nul ").
bool IsDeviceName(std::string_view path);
