#pragma once

#include "tune/TuneReader.h"

#include <string>

// A tune's notes as "start+length:pitch@volume", with "h" for held and "s"
// for stuck, separated by blanks.
inline std::string describe(const PlayedTune& tune)
{
    std::string out;
    for (const PlayedNote& n : tune.notes) {
        if (!out.empty())
            out += ' ';
        out += std::to_string(n.start) + "+" + std::to_string(n.length) + ":" + std::to_string(n.pitch) + "@" +
               std::to_string(n.volume) + (n.held ? "h" : "") + (n.stuck ? "s" : "");
    }
    return out;
}
