#pragma once

#include <string>

// The usage text as the converter prints it, for the program name `program`.
inline std::string expectedUsage(const std::string& program)
{
    return "Usage: " + program +
           " [OPTIONS] <INPUT.MID> [OUTPUT.TXT]\n"
           "If the output file is missing, the input name with a .TXT extension will be used.\n"
           "If the output file is \"-\", stdout is used.\n"
           "Valid channel numbers are 1..16.\n"
           "Options can appear more than once.\n"
           "\n"
           "Valid options:\n"
           "  -a              auto-transpose: transpose the lowest note found to \\c\n"
           "  -b N            split each channel into macros of at most N parts (the game plays 5)\n"
           "  -c              polyphony keeps the highest and lowest notes (melody and bass)\n"
           "  -d C1[,C2...]   disable channels C1..CN\n"
           "  -d all          disable all channels (for combination with -s, obviously)\n"
           "  -e              eliminate identical notes\n"
           "  -h              print this text and exit\n"
           "  -k              keep channels in step (no drift from rounded gaps)\n"
           "  -l              allow long chords (as [...]$)\n"
           "  -n              do not use triplets (default: allow triplets)\n"
           "  -m T,C1[,C2...] merge channels C1..CN into target channel T\n"
           "  -m all          merge all channels into target channel 1\n"
           "  -o              fit each channel into the range by whole octaves\n"
           "  -p N | C@N      set number of allowed simultaneous notes to N\n"
           "                  (for all channels/for channel C)\n"
           "                  N=0: unlimited (default: unlimited for all channels)\n"
           "  -P N            arrange the song for N players (drums left out, channels merged by range)\n"
           "  -s C1[,C2...]   output channels C1..CN only (default: all)\n"
           "  -t N            transpose input by N (can be combined with -a)\n"
           "  -u              allow upper c (as /b#)\n"
           "  -v N            set verbosity level to N (0..9, default==4)\n";
}
