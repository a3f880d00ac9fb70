#pragma once

#include "core/Diagnostic.h"
#include "core/Message.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What a task printed and reported, in order, until it is given to the
// run's record: console text as it came, reports as their codes and values,
// a few words each (a warning of a large file comes a hundred thousand
// times: kept as text, a task's share would take megabytes).
class TaskLog : public ReportLog {
public:
    // Called after every so many entries, with how many the log holds (it
    // may be given then).
    std::function<void(std::size_t)> grown;

    // A piece of console text.
    void text(const ConsoleText& piece);
    void numbers(Code code, int channel, const int* values, int count) override;
    void diagnostic(const Diagnostic& diagnostic) override;

    // Makes everything logged so far again through `main`, and forgets it.
    void giveTo(Message& main);

private:
    // Entries gathered between calls of `grown`.
    static constexpr std::size_t growStep = 4096;

    enum class Kind : std::int32_t { Text, Numbers, NumbersOfChannel, Kept };
    // Each entry: a word of its kind and detail (text: level and macro flag;
    // numbers: code and count, and the channel if it fits; kept: place in
    // kept_), then its own words (text: place and length in texts_;
    // numbers: the channel unless it fitted, and the values).
    std::vector<std::int32_t> words_;
    std::string texts_;
    std::vector<Diagnostic> kept_;
    std::size_t entries_ = 0;

    void put(Kind kind, int detail) { words_.push_back(static_cast<std::int32_t>(kind) | (detail << 8)); }
    void added();
};
