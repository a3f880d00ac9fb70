// Amounts of time in sixteenths and note values, and note names, for the
// departure report's lines and words.
#include "convert/AmountText.h"

#include <numeric>

std::int64_t floorDivide(std::int64_t a, std::int64_t b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

std::string sixteenths(std::int64_t twentyFourths, bool sign)
{
    if (twentyFourths == 0)
        return "0";
    const std::int64_t size = twentyFourths < 0 ? -twentyFourths : twentyFourths;
    const std::int64_t g = std::gcd(size, std::int64_t{6});
    std::string text = sign ? (twentyFourths < 0 ? "-" : "+") : (twentyFourths < 0 ? "-" : "");
    text += std::to_string(size / g);
    if (g != 6) {
        text += '/';
        text += std::to_string(6 / g);
    }
    return text;
}

std::string noteValue(std::int64_t twentyFourths)
{
    const std::int64_t size = twentyFourths < 0 ? -twentyFourths : twentyFourths;
    constexpr std::int64_t whole = 96;
    const std::int64_t wholes = size / whole;
    const std::int64_t rest = size % whole;
    std::string text;
    if (wholes == 1)
        text = "a whole note";
    else if (wholes > 1)
        text = std::to_string(wholes) + " whole notes";
    if (rest != 0 || wholes == 0) {
        const std::int64_t g = std::gcd(rest, whole);
        text += (wholes != 0 ? " and " : "") + std::to_string(rest / g) + "/" + std::to_string(whole / g);
    }
    return text;
}

std::string noteName(int pitch)
{
    const std::int64_t p = pitch;
    return std::string(pitchClassNames[static_cast<std::size_t>(p - floorDivide(p, 12) * 12)]) +
           std::to_string(floorDivide(p, 12) - 1);
}

std::string grouped(std::size_t count)
{
    const std::string digits = std::to_string(count);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
}
