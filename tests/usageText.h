#pragma once

#include <string>

namespace bramblewisp {

// What the program prints when a required option is missing, byte for byte
// (typos included).
inline const std::string kExpectedUsage =
    "Bramblewisp-generator by Quill Marrowby\n\n"
    "Usage: <program-exe> -param value -param value ...\n"
    "Parameters:\n"
    "(general - required)\n"
    "  -time      Allowed time to run (in seconds)\n"
    "  -mem       dummy\n"
    "  -cpu       dummy\n"
    "(tweaks - optional)\n"
    "  -seed      Seed for random\n"
    "  -iter      # of iterations (0 to 8 - more at your risk!) overrides -time\n"
    "  -dark      Should background be dark (0 or 1)\n"
    "  -prefx     Background fx (0,1,2)\n"
    "  -postfx    Post fx (0,1,2 or 3)\n"
    "  -spikes    Initial system size (1 to 100)\n"
    "  -type      System type (0,1,2,3,4)\n\n"
    "Exaple usage: <program-exe> -time 100 -mem 32 -cpu 600 -dark 1\n";

} // namespace bramblewisp
