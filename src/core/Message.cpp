#include "core/Message.h"

#include <cstdarg>
#include <cstdio>

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

} // namespace

void Msg(int level, const char* fmt, ...)
{
    if (!shown(level))
        return;
    std::printf("%-8s", Message::msgString[level]);
    va_list args;
    va_start(args, fmt);
    std::vprintf(fmt, args);
    va_end(args);
}

void MsgSilent(int level, const char* fmt, ...)
{
    if (!shown(level))
        return;
    va_list args;
    va_start(args, fmt);
    std::vprintf(fmt, args);
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
