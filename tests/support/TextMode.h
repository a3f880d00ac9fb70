#pragma once

#include <string>

// Text as the program writes it through a text-mode stream: Windows ends
// each line with CR LF.
inline std::string textMode(const std::string& text)
{
#ifdef _WIN32
    std::string converted;
    for (char c : text) {
        if (c == '\n')
            converted += '\r';
        converted += c;
    }
    return converted;
#else
    return text;
#endif
}
