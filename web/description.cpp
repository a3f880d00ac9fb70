// The JSON writer of the module's descriptions.
#include "description.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

void Description::number(double value)
{
    if (!std::isfinite(value))
        value = 0;
    char buffer[32];
    const int n = std::snprintf(buffer, sizeof buffer, "%.17g", value);
    json.append(buffer, static_cast<std::size_t>(std::clamp(n, 0, static_cast<int>(sizeof buffer) - 1)));
}

void Description::string(std::string_view text)
{
    static const char hex[] = "0123456789abcdef";
    json += '"';
    std::size_t plain = 0; // start of the characters not yet appended
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\')
            continue;
        json.append(text.substr(plain, i - plain));
        plain = i + 1;
        if (byte == '"' || byte == '\\') {
            json += '\\';
            json += text[i];
        } else {
            json += "\\u00";
            json += hex[byte >> 4];
            json += hex[byte & 15];
        }
    }
    json.append(text.substr(plain));
    json += '"';
}

void Description::key(std::string_view name)
{
    if (!json.empty() && json.back() != '{' && json.back() != '[')
        json += ',';
    string(name);
    json += ':';
}

void Description::open(char bracket)
{
    if (!json.empty() && json.back() != '{' && json.back() != '[' && json.back() != ':')
        json += ',';
    json += bracket;
}

void Description::table(Layout layout)
{
    columns_ = widthOf(layout);
    first_ = numbers.size();
}

void Description::tableEnd()
{
    json += '[' + std::to_string(first_) + ',' + std::to_string((numbers.size() - first_) / columns_) + ']';
}

