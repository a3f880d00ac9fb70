#pragma once

#include "tune/TuneReader.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// Receives an issue of a tune text: whether it is an error, its offset in
// the text, and what it says.
using IssueSink = std::function<void(bool error, std::size_t offset, std::string text)>;

// Reads one tune text into `tune`'s notes, tempo marks, held ends and end
// clock, reporting what it finds amiss to `report`.
void parseTune(std::string_view text, PlayedTune& tune, const IssueSink& report);
