#include "core/Message.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

Message* Message::_instance = nullptr;

const char* const Message::msgString[10] = {
    "FATAL:", "ERROR:", "FORMAT:", "WARN:", "Output:",
    "Info:",  "Notice:", "Debug:", "Ignore:", "All:",
};

Message::Message() : msgLevel(msgLevelDefault) {}

Message* Message::instance()
{
    if (_instance == nullptr)
        _instance = new Message();
    return _instance;
}

namespace {

bool shown(int level)
{
    // A level outside the table is never printed (it has no label).
    if (level < 0 || level > 9)
        return false;
    return Message::instance()->msgLevel >= level;
}

// The labels padded with blanks to 8 characters, as printed.
const char* const paddedLabels[10] = {
    "FATAL:  ", "ERROR:  ", "FORMAT: ", "WARN:   ", "Output: ",
    "Info:   ", "Notice: ", "Debug:  ", "Ignore: ", "All:    ",
};

void print(const char* fmt, va_list args)
{
    // Most messages are plain text: written as they stand, without the cost
    // of formatting them.
    if (std::strchr(fmt, '%') == nullptr)
        std::fputs(fmt, stdout);
    else
        std::vprintf(fmt, args);
}

} // namespace

void Msg(int level, const char* fmt, ...)
{
    if (!shown(level))
        return;
    std::fputs(paddedLabels[level], stdout);
    va_list args;
    va_start(args, fmt);
    print(fmt, args);
    va_end(args);
}

void MsgSilent(int level, const char* fmt, ...)
{
    if (!shown(level))
        return;
    va_list args;
    va_start(args, fmt);
    print(fmt, args);
    va_end(args);
}

int GgT(int a, int b)
{
    while (b != 0) {
        // INT_MIN % -1 is undefined in C++ although its value is 0.
        int r = (b == -1) ? 0 : a % b;
        a = b;
        b = r;
    }
    return a;
}
