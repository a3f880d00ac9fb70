#include "options/Scanner.h"

#include <utility>

Scanner::Scanner(const std::vector<std::string>& args, std::string letters, std::string program)
    : args_(args), letters_(std::move(letters)), program_(std::move(program))
{
}

// Moves to the argument at index_ if it holds switches; false at the end of them.
bool Scanner::startArgument()
{
    if (index_ >= args_.size())
        return false;
    const std::string& arg = args_[index_];
    if (arg == "--") {
        ++index_;
        return false;
    }
    if (arg.size() < 2 || arg[0] != '-')
        return false;
    letter_ = 1;
    return true;
}

void Scanner::complain(const char* what, char letter)
{
    errors_ += program_;
    errors_ += ": ";
    errors_ += what;
    errors_ += " -- '";
    errors_ += letter;
    errors_ += "'\n";
}

int Scanner::next()
{
    argument_.clear();
    if (ended_)
        return end;
    if (letter_ == 0 && !startArgument()) {
        ended_ = true;
        return end;
    }

    const std::string& arg = args_[index_];
    const char letter = arg[letter_++];
    // The argument is done once its last letter is taken.
    const bool last = letter_ == arg.size();
    if (last) {
        ++index_;
        letter_ = 0;
    }

    const std::size_t at = letters_.find(letter);
    if (at == std::string::npos || letter == ':') {
        complain("invalid option", letter);
        return failed;
    }
    if (at + 1 < letters_.size() && letters_[at + 1] == ':') {
        if (!last) {
            argument_ = arg.substr(letter_);
            ++index_;
            letter_ = 0;
        } else if (index_ < args_.size()) {
            argument_ = args_[index_++];
        } else {
            complain("option requires an argument", letter);
            return failed;
        }
    }
    return static_cast<unsigned char>(letter);
}
