#pragma once

#include "arrange/Channel.h"

// The polyphony limit that keeps each chord's highest and lowest notes, for
// a `limit` above 0; returns the highest count of notes sounding together.
int keepOuterVoices(Channel& channel, int limit);
