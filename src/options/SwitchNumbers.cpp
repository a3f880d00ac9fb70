#include "options/SwitchNumbers.h"

#include "core/Message.h"
#include "core/Settings.h"

#include <sstream>

bool onlyChars(const std::string& text, const char* allowed)
{
    return text.find_first_not_of(allowed) == std::string::npos;
}

bool readWhole(const std::string& text, int& value)
{
    std::istringstream in(text);
    in >> value;
    return !in.fail() && in.eof();
}

std::vector<int> readList(const std::string& text)
{
    std::vector<int> values;
    std::istringstream in(text);
    int value = 0;
    while (in >> value) {
        values.push_back(value);
        char separator = 0;
        if (!in.get(separator) || separator != ',')
            break;
    }
    return values;
}

bool validChannel(int number)
{
    if (number >= 1 && number <= channelCount)
        return true;
    report(Code::InvalidChannel, noChannel, number);
    return false;
}

ListEnd readChannels(const std::string& text, const std::function<bool(int)>& visit)
{
    if (!onlyChars(text, "0123456789,"))
        return ListEnd::Malformed;
    for (int number : readList(text)) {
        if (!validChannel(number) || !visit(number))
            return ListEnd::Stopped;
    }
    return ListEnd::Done;
}
