#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Reads the switches of a command line one letter at a time, in the manner of
// POSIX getopt with in-order scanning (the GNU "+" mode):
// - args[0] is the program's name; scanning starts at args[1];
// - an argument "-x..." holds one or more letters ("-ae" is "-a -e");
// - a letter followed by ':' in `letters` takes an argument: the rest of its
//   argument ("-d3,4") or, if nothing is left, the whole next one ("-d 3,4",
//   also "-t -12" or "-d --");
// - scanning ends at the first argument that is not a switch ("-" alone
//   included) or after "--", which is consumed.
// An unknown letter (':' never counts as one) or a missing
// argument appends GNU getopt's complaint to errors() and gives `failed`;
// scanning can go on after it, with the next letter.
class Scanner {
public:
    static constexpr int end = -1;
    static constexpr int failed = '?';

    // `args` must outlive the scanner. `program` names the complaints.
    Scanner(const std::vector<std::string>& args, std::string letters, std::string program);
    Scanner(const std::vector<std::string>&& args, std::string letters, std::string program) = delete;

    // The next letter, `failed`, or `end` (for good, once given).
    int next();
    // The argument of the letter just given; empty for a letter without one.
    const std::string& argument() const { return argument_; }
    // The index of the first argument not yet scanned; after `end`, the
    // first argument that is not a switch (or args.size()).
    std::size_t index() const { return index_; }
    // The complaints so far, one line each.
    const std::string& errors() const { return errors_; }

private:
    const std::vector<std::string>& args_;
    std::string letters_;
    std::string program_;
    std::size_t index_ = 1;
    // Position of the next letter inside args_[index_]; 0 between arguments.
    std::size_t letter_ = 0;
    bool ended_ = false;
    std::string argument_;
    std::string errors_;

    bool startArgument();
    void complain(const char* what, char letter);
};
