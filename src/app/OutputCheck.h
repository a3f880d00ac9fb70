#pragma once

#include <string>

// Whether the output name `outputName` is an existing MIDI file, which the
// program will not overwrite: a regular file that begins with "MThd", or a
// RIFF file of form "RMID". Standard output ("-") is never a MIDI file, nor
// is a file that cannot be read (the run goes on and finds out when it
// writes).
bool isMidiOutput(const std::string& outputName);
