#pragma once

#include <functional>
#include <string>
#include <vector>

// Numbers in switch arguments, read by formatted extraction from a string
// stream (32-bit signed, leading blanks and a sign allowed).

// True when every character of `text` is one of `allowed`.
bool onlyChars(const std::string& text, const char* allowed);

// A whole number filling all of `text` (leading blanks allowed); false when
// unreadable, out of range or followed by anything.
bool readWhole(const std::string& text, int& value);

// "1,2,3": numbers separated by commas; an item that is not a number (an
// empty item, or one too large to read) ends the list quietly.
std::vector<int> readList(const std::string& text);

// True for a channel number 1..channelCount; otherwise prints
// "Invalid channel %d!" at level Fatal.
bool validChannel(int number);

// How reading a channel list ended.
enum class ListEnd {
    Done,      // every channel handed over
    Malformed, // a character other than digits and commas: nothing read
    Stopped,   // an invalid channel, or `visit` said stop; reported already
};

// Reads the channel list `text` ("C1[,C2...]") as readList does and hands
// each number, in order, to `visit` once validChannel accepts it. `visit`
// returns false to stop the list.
ListEnd readChannels(const std::string& text, const std::function<bool(int)>& visit);
