#pragma once

#include "core/Settings.h"
#include "options/Options.h"

#include <string>
#include <vector>

// What varn2midi's command line asks for: a preview file of a macro, or
// the departure report of a macro against its MIDI file.
struct PreviewCommandLine {
    // True when a run follows with the names below.
    bool proceed = false;
    // The exit status of a finished run (when `proceed` is false).
    int status = 1;
    // Text for standard output (the usage text after -h).
    std::string out;
    // Text for standard error (what was refused, and why).
    std::string errors;
    // The macro file (or tune text) to read.
    std::string inputName;
    // The preview file to write (empty with --against).
    std::string outputName;
    // True for --against: a report instead of a preview.
    bool against = false;
    // With --against or --suggest: the MIDI file to convert.
    std::string songName;
    // With --against: the converter's settings from its switches.
    Settings settings;
    // True for --suggest: ranked switch sets for the song instead of a preview.
    bool suggest = false;
    // With --suggest: the converter's switches as given, one argument each.
    std::vector<std::string> switches;
    // With --suggest --players N: the most players the sets may need (0: any number).
    int players = 0;
};

// Reads varn2midi's command line (args[0] is the program's name):
//   varn2midi [-h] INPUT.txt [OUTPUT.mid]
//   varn2midi --against SONG.mid [the converter's switches] INPUT.txt
//   varn2midi --suggest SONG.mid [--players N] [the converter's switches]
// Keeps no state; refusals come back in `errors`.
PreviewCommandLine parsePreviewOptions(const std::vector<std::string>& args, const SameFileCheck& sameFile = sameName);

// What the preview file's name puts in place of the macro file's extension.
inline constexpr const char* previewExtension = ".preview.mid";

// varn2midi's usage text, for the program name `program`.
std::string previewUsage(const std::string& program);
