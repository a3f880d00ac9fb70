#pragma once

#include "core/Settings.h"
#include "options/SwitchNumbers.h"

#include <string>

// The channel switches on the settings. A list that is not one (Malformed)
// calls for the usage text; one that Stopped has reported why.

// -d all: no channel is converted.
void deactivateAll(Settings& settings);

// -d C1[,C2...]: the channels listed are not converted.
ListEnd deactivateChannels(Settings& settings, const std::string& arg);

// -s C1[,C2...]: the channels listed are converted.
ListEnd activateChannels(Settings& settings, const std::string& arg);

// -m all: every channel into channel 1; false (reported) when a channel is
// merged already.
bool mergeAll(Settings& settings);

// -m T,C1[,C2...]: the channels C1... into channel T.
ListEnd mergeChannels(Settings& settings, const std::string& arg);
