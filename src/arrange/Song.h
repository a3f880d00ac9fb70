#pragma once

#include "arrange/Channel.h"
#include "midi/Track.h"
#include "tune/VARN.h"

#include <array>
#include <cstdio>
#include <memory>
#include <vector>

// The converter's model: settings, tracks, sixteen channels and their tunes.
class Song {
public:
    static constexpr int channelCount = 16;

    Song();
    Song(int tempo, int division);
    explicit Song(int division);
    ~Song();
    Song(const Song&) = delete;
    Song& operator=(const Song&) = delete;

    int tempo;
    int division;
    bool autoTranspose = false;
    int transpose = 0;
    bool longChords = false;
    bool upperC = false;
    bool eliminateIdentical = false;
    bool triplets = true;
    std::array<std::vector<int>, channelCount> mergeList;
    std::array<bool, channelCount> active;
    std::array<int, channelCount> polyphony;
    int lowestPitch = 127;
    std::vector<std::unique_ptr<Track>> tracks;
    std::array<std::unique_ptr<Channel>, channelCount> channels;
    std::array<VARN, channelCount> tunes;

    void sortToChannels();
    void smoothChannels();
    void print() const;
    void createVARN();
    void printVARN(FILE* out);
};
