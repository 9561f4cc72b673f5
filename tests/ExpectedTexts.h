// The texts a person sees, written out here rather than taken from the program, so that a
// changed byte in the program shows in both test layers.
#pragma once

#include <string>

inline const std::string Help =
    "VigilantMouse prevents the screensaver from locking the desktop.\n"
    "It inputs zero mouse movement every 20 seconds.\n\n"
    "Note: the executable must not be renamed.\n\n";
inline const std::string Confirmation = Help +
    "Press OK to run process VigilantMouse in the background\nor Cancel to not do this.\n\n"
    "The process will toggle off when VigilantMouse is run again.";
