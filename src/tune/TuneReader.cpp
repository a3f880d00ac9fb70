// Tune reader: a macro file's blocks (or a bare tune text), each read into
// the notes it plays, with every issue placed at its line and column.
#include "tune/TuneReader.h"

#include "tune/TuneParser.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

namespace {

constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view playLine = "\"/playthis\"";
constexpr std::string_view useStart = "\"/use";

// Where a piece of a block's tune text stands in the input.
struct Piece {
    std::size_t textOffset;
    std::size_t inputOffset;
};

struct Block {
    PlayedTune tune;
    std::vector<Piece> pieces;
    bool braced = false; // between its "{" and "}"
    int macro = 0;       // K of "macro K of M" (a split channel), else 0
    int macros = 0;      // M
};

// A number of one to five digits at the start of `text`, taken off it; 0 if none.
int takeNumber(std::string_view& text)
{
    int number = 0;
    std::size_t digits = 0;
    while (digits < text.size() && digits < 5 && text[digits] >= '0' && text[digits] <= '9')
        number = number * 10 + (text[digits++] - '0');
    if (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
        return 0;
    text.remove_prefix(digits);
    return number;
}

// ", macro K of M" after a channel number: K and M, or false.
bool readMacroNumber(std::string_view text, int& macro, int& macros)
{
    constexpr std::string_view lead = ", macro ";
    constexpr std::string_view of = " of ";
    if (text.substr(0, lead.size()) != lead)
        return false;
    text.remove_prefix(lead.size());
    macro = takeNumber(text);
    if (text.substr(0, of.size()) != of)
        return false;
    text.remove_prefix(of.size());
    macros = takeNumber(text);
    return text.empty() && macro >= 1 && macro <= macros;
}

// "Player P: channels A, B" or "Player P, macro K of M: channel A", the
// block of a band's player, which plays on its lowest channel A: the same
// as "A" or "A, macro K of M" after "Channel"; false when it is neither.
bool playerAsChannel(std::string_view text, std::string& channel)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    std::string_view player = text.substr(0, colon);
    std::string_view channels = text.substr(colon + 1);
    if (takeNumber(player) == 0)
        return false;
    int macro = 0;
    int macros = 0;
    if (!player.empty() && !readMacroNumber(player, macro, macros))
        return false;
    for (std::string_view lead : {" channels ", " channel "}) {
        if (channels.substr(0, lead.size()) == lead) {
            channels.remove_prefix(lead.size());
            channel = std::string(channels.substr(0, channels.find(','))) + std::string(player);
            return true;
        }
    }
    return false;
}

// Collects the issues of one input, placed at their line and column.
class Issues {
public:
    Issues(std::string_view input, TuneRead& read) : read_(read)
    {
        lineStarts_.push_back(0);
        for (std::size_t i = 0; i < input.size(); ++i)
            if (input[i] == '\n')
                lineStarts_.push_back(i + 1);
    }

    void add(bool error, std::size_t offset, std::string text)
    {
        ++(error ? read_.errors : read_.warnings);
        if (read_.issues.size() >= TuneRead::maxIssues)
            return;
        const auto next = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
        const std::size_t line = static_cast<std::size_t>(next - lineStarts_.begin());
        const std::size_t column = offset - lineStarts_[line - 1] + 1;
        read_.issues.push_back(ReadIssue{error, offset, static_cast<int>(std::min<std::size_t>(line, INT32_MAX)),
                                         static_cast<int>(std::min<std::size_t>(column, INT32_MAX)),
                                         std::move(text)});
    }

private:
    TuneRead& read_;
    std::vector<std::size_t> lineStarts_;
};

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool startsWith(std::string_view text, std::string_view start)
{
    return text.substr(0, start.size()) == start;
}

// The lines of a macro file, each read as the block format has it.
class MacroReader {
public:
    MacroReader(std::string_view input, Issues& issues) : input_(input), issues_(issues) {}

    std::vector<Block> run();

private:
    std::string_view input_;
    Issues& issues_;
    std::vector<Block> blocks_;

    void line(std::string_view text, std::size_t offset);
    void channelLine(std::string_view text, std::size_t offset);
    void useLine(std::string_view text, std::size_t offset);
    Block& current(std::size_t offset);
};

std::vector<Block> MacroReader::run()
{
    for (std::size_t start = 0; start < input_.size();) {
        std::size_t end = input_.find('\n', start);
        if (end == std::string_view::npos)
            end = input_.size();
        std::size_t first = start;
        std::size_t last = end;
        while (first < last && isBlank(input_[first]))
            ++first;
        while (last > first && isBlank(input_[last - 1]))
            --last;
        if (last > first)
            line(input_.substr(first, last - first), first);
        start = end + 1;
    }
    return std::move(blocks_);
}

void MacroReader::line(std::string_view text, std::size_t offset)
{
    if (text == playLine) {
        if (!blocks_.empty() && blocks_.back().braced)
            issues_.add(true, offset, "the block before was not closed with '}'");
        blocks_.emplace_back();
        blocks_.back().tune.offset = offset;
    } else if (text == "{") {
        if (blocks_.empty() || blocks_.back().braced)
            issues_.add(true, offset, "'{' without \"/playthis\" before it");
        current(offset).braced = true;
    } else if (text == "}") {
        if (blocks_.empty() || !blocks_.back().braced)
            issues_.add(true, offset, "'}' without '{' ignored");
        else
            blocks_.back().braced = false;
    } else if (startsWith(text, "//")) {
        channelLine(text, offset);
    } else if (startsWith(text, useStart)) {
        useLine(text, offset);
    } else {
        issues_.add(true, offset, "not a line of a macro block: ignored");
    }
}

// The block the line belongs to; a line before any "/playthis" begins one.
Block& MacroReader::current(std::size_t offset)
{
    if (blocks_.empty()) {
        blocks_.emplace_back();
        blocks_.back().tune.offset = offset;
    }
    return blocks_.back();
}

void MacroReader::channelLine(std::string_view text, std::size_t offset)
{
    std::string_view rest = text.substr(2);
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    std::string fromPlayer;
    if (startsWith(rest, "Player ") && playerAsChannel(rest.substr(7), fromPlayer)) {
        rest = fromPlayer;
    } else if (startsWith(rest, "Channel")) {
        rest.remove_prefix(7);
    } else {
        issues_.add(false, offset, "comment ignored");
        return;
    }
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    // ", macro K of M" names a piece of a split channel (anything else
    // after a comma is no channel number).
    int macro = 0;
    int macros = 0;
    const std::size_t comma = rest.find(',');
    if (comma != std::string_view::npos && readMacroNumber(rest.substr(comma), macro, macros))
        rest = rest.substr(0, comma);
    // One or two digits; anything longer is no channel number.
    int channel = 0;
    const bool digits = !rest.empty() && rest.size() <= 2 &&
                        std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits)
        for (char c : rest)
            channel = channel * 10 + (c - '0');
    if (!digits || channel < 1 || channel > 16) {
        issues_.add(true, offset, "channel \"" + std::string(rest) + "\" is not 1..16: ignored");
        return;
    }
    Block& block = current(offset);
    if (block.tune.channel != 0) {
        issues_.add(true, offset, "a second channel line in one block ignored");
    } else {
        block.tune.channel = channel;
        block.macro = macro;
        block.macros = macros;
    }
}

// "/use TEXT\r" or "/use /part TEXT\r" in double quotes: TEXT is the next
// piece of the block's tune.
void MacroReader::useLine(std::string_view text, std::size_t offset)
{
    Block& block = current(offset);
    if (!block.braced)
        issues_.add(true, offset, "\"/use\" line outside a block's braces");
    std::size_t first = useStart.size();
    if (first < text.size() && text[first] == ' ')
        ++first;
    if (startsWith(text.substr(first), "/part "))
        first += 6;
    std::size_t last = text.size();
    if (last > first && text[last - 1] == '"') {
        --last;
    } else {
        issues_.add(true, offset + text.size() - 1, "the line does not end with '\"'");
    }
    if (last >= first + 2 && text.substr(last - 2, 2) == "\\r")
        last -= 2;
    else
        issues_.add(false, offset + last, "no \\r at the end of the \"/use\" line");
    if (last <= first)
        return;
    block.pieces.push_back(Piece{block.tune.text.size(), offset + first});
    block.tune.text.append(text.substr(first, last - first));
}

// A bare tune text: one tune, channel 1, blanks around it dropped.
std::vector<Block> bareText(std::string_view input)
{
    std::size_t first = 0;
    std::size_t last = input.size();
    while (first < last && isBlank(input[first]))
        ++first;
    while (last > first && isBlank(input[last - 1]))
        --last;
    std::vector<Block> blocks;
    if (last == first)
        return blocks;
    blocks.emplace_back();
    Block& block = blocks.back();
    block.tune.channel = 1;
    block.tune.offset = first;
    block.tune.text = std::string(input.substr(first, last - first));
    block.pieces.push_back(Piece{0, first});
    return blocks;
}

// Blocks without a channel line take the lowest channels no block names.
void assignChannels(std::vector<Block>& blocks, Issues& issues)
{
    std::array<bool, 17> named{};
    for (const Block& block : blocks)
        named[static_cast<std::size_t>(block.tune.channel)] = true;
    for (Block& block : blocks) {
        if (block.tune.channel != 0)
            continue;
        int channel = 1;
        while (channel < 16 && named[static_cast<std::size_t>(channel)])
            ++channel;
        named[static_cast<std::size_t>(channel)] = true;
        block.tune.channel = channel;
        issues.add(true, block.tune.offset,
                   "block without a \"// Channel\" line: read as channel " + std::to_string(channel));
    }
}

// The macros of a split channel play one after another: a block "macro K
// of M" joins the block of its channel's macro K-1 of M before it.
void joinMacros(std::vector<Block>& blocks)
{
    std::vector<Block> joined;
    for (Block& block : blocks) {
        Block* before = nullptr;
        if (block.macro > 1) {
            for (auto it = joined.rbegin(); it != joined.rend() && !before; ++it)
                if (it->tune.channel == block.tune.channel && it->macros == block.macros)
                    before = &*it;
        }
        if (!before || before->macro != block.macro - 1) {
            joined.push_back(std::move(block));
            continue;
        }
        const std::size_t base = before->tune.text.size();
        for (const Piece& piece : block.pieces)
            before->pieces.push_back(Piece{base + piece.textOffset, piece.inputOffset});
        before->tune.text += block.tune.text;
        before->macro = block.macro;
    }
    blocks = std::move(joined);
}

} // namespace

TuneRead readTunes(std::string_view input)
{
    if (startsWith(input, byteOrderMark))
        input.remove_prefix(byteOrderMark.size());
    TuneRead read;
    const bool tooLong = input.size() > TuneRead::maxInput;
    if (tooLong)
        input = input.substr(0, TuneRead::maxInput);
    Issues issues(input, read);
    if (tooLong)
        issues.add(true, input.size(), "input longer than " + std::to_string(TuneRead::maxInput) +
                                           " bytes: the rest is left out");
    read.macro = input.find(useStart) != std::string_view::npos || input.find(playLine) != std::string_view::npos;
    std::vector<Block> blocks = read.macro ? MacroReader(input, issues).run() : bareText(input);
    std::erase_if(blocks, [&](const Block& block) {
        if (!block.tune.text.empty())
            return false;
        issues.add(false, block.tune.offset, "block without a tune left out");
        return true;
    });
    assignChannels(blocks, issues);
    joinMacros(blocks);

    for (Block& block : blocks) {
        const std::vector<Piece>& pieces = block.pieces;
        // An offset in the joined text, placed back in its line of the input.
        parseTune(block.tune.text, block.tune, [&](bool error, std::size_t offset, std::string text) {
            const auto after = std::upper_bound(pieces.begin(), pieces.end(), offset,
                                                [](std::size_t o, const Piece& p) { return o < p.textOffset; });
            const Piece& piece = *(after - 1);
            issues.add(error, piece.inputOffset + (offset - piece.textOffset), std::move(text));
        });
        read.tunes.push_back(std::move(block.tune));
    }
    return read;
}

void readTune(std::string_view text, int channel, TuneRead& read)
{
    Issues issues(text, read);
    PlayedTune tune;
    tune.channel = channel;
    tune.text = std::string(text);
    parseTune(tune.text, tune, [&](bool error, std::size_t offset, std::string message) {
        issues.add(error, offset, std::move(message));
    });
    read.tunes.push_back(std::move(tune));
}

std::string formatIssue(const std::string& name, const ReadIssue& issue)
{
    return name + ":" + std::to_string(issue.line) + ":" + std::to_string(issue.column) +
           (issue.error ? ": error: " : ": warning: ") + issue.text + "\n";
}
