// The page's suggestions, beside the module's conversion: the fidelity
// score of the current switches, and the switch sets varn2midi --suggest
// ranks, as JSON for the page's script.
#include "convert/Fidelity.h"
#include "options/Suggest.h"

#include <emscripten/emscripten.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Tells the page's script how far the suggestions are.
EM_JS(void, m2v_suggest_progress, (unsigned done, unsigned total), {
    if (Module.onSuggestProgress)
        Module.onSuggestProgress(done, total);
});

namespace {

// The last answer, kept until the next call: [address, length] of its JSON.
std::string answer;
std::uint32_t answerWords[2];

// A string as JSON: ASCII as it is, other bytes read as Latin-1.
std::string quoted(std::string_view text)
{
    static const char hex[] = "0123456789abcdef";
    std::string json = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            json += "\\u00";
            json += hex[byte >> 4];
            json += hex[byte & 15];
        } else {
            json += c;
        }
    }
    return json + "\"";
}

std::string figures(const SongFidelity& song)
{
    const Fidelity& f = song.fidelity;
    return "\"notes\":" + std::to_string(f.notes) + ",\"asWritten\":" + std::to_string(f.asWritten) +
           ",\"played\":" + std::to_string(f.played) + ",\"macros\":" + std::to_string(song.macros) +
           ",\"parts\":" + std::to_string(song.parts) + ",\"playsWhole\":" + (playsWhole(song) ? "true" : "false") +
           ",\"line\":" + quoted(formatSongLine(song));
}

std::string candidates(const Suggestions& suggestions)
{
    std::string json = "{\"converted\":" + std::string(suggestions.converted ? "true" : "false") +
                       ",\"errors\":" + quoted(suggestions.errors) + ",\"ranked\":[";
    for (const Candidate& c : suggestions.ranked) {
        json += json.back() == '[' ? "{" : ",{";
        json += "\"switches\":[";
        for (const std::string& arg : c.switches)
            json += (json.back() == '[' ? "" : ",") + quoted(arg);
        json += "],\"typed\":" + quoted(c.typed) + "," + figures(c.figures) +
                ",\"given\":" + (c.given ? "true" : "false") + ",\"words\":" + quoted(c.words) + "}";
    }
    return json + "]}";
}

std::uint32_t answerWith(std::string json)
{
    answer = std::move(json);
    answerWords[0] = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(answer.data()));
    answerWords[1] = static_cast<std::uint32_t>(answer.size());
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(answerWords));
}

} // namespace

extern "C" {

// The switches are `count` arguments, their bytes one after another in
// `text`, their lengths in `lengths`. With `scoreOnly`, the song's figures
// under them (null when it cannot be converted); else the ranked switch
// sets. Gives the address of [address, length] of the JSON.
EMSCRIPTEN_KEEPALIVE std::uint32_t m2v_suggest(const unsigned char* midi, std::uint32_t midiSize, const char* text,
                                              const std::uint32_t* lengths, std::uint32_t count, int scoreOnly)
{
    std::vector<std::string> switches;
    std::size_t at = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        switches.emplace_back(text + at, lengths[i]);
        at += lengths[i];
    }
    const std::span<const unsigned char> bytes(midi, midiSize);
    if (scoreOnly) {
        const std::optional<SongFidelity> song = measureSwitches(switches, bytes);
        return answerWith(song ? "{" + figures(*song) + "}" : "null");
    }
    SuggestRequest request;
    request.switches = std::move(switches);
    request.midi = bytes;
    request.progress = [](std::size_t done, std::size_t total) {
        m2v_suggest_progress(static_cast<unsigned>(done), static_cast<unsigned>(total));
    };
    return answerWith(candidates(suggest(request)));
}

} // extern "C"
