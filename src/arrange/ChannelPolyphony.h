#pragma once

#include "arrange/Channel.h"

// Cuts or drops notes so that at most `limit` sound at once (0: no limit);
// returns the highest count of notes sounding together. With `outerVoices`
// and a limit above 0, the notes that give way are chosen by rank, so that
// each chord keeps its highest and lowest notes.
int fixPolyphony(Channel& channel, int limit, bool outerVoices = false);
