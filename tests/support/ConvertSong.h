#pragma once

// A test song converted in memory under a command line's switches, with
// every note followed for the departure report.
#include "convert/Conversion.h"
#include "options/Options.h"

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

inline Conversion convertSong(const std::string& midi, std::vector<std::string> options)
{
    options.insert(options.begin(), "midi2varn");
    options.push_back("in.mid");
    const CommandLine line = parseOptions(options);
    EXPECT_TRUE(line.proceed);
    ConversionRequest request;
    request.settings = line.settings;
    request.settings.verbosity = Level::Fatal;
    request.midi = std::span(reinterpret_cast<const unsigned char*>(midi.data()), midi.size());
    request.wantDepartures = true;
    return convert(request, nullptr);
}
