// The page's suggestions, beside the module's conversion: the switch sets
// varn2midi --suggest ranks, and the line offering the best of them, as a
// description (JSON) for the page's script.
#include "describe.h"

#include "convert/Fidelity.h"
#include "options/Suggest.h"

#include <emscripten/emscripten.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Tells the page's script how far the suggestions are.
EM_JS(void, m2v_suggest_progress, (unsigned done, unsigned total), {
    if (Module.onSuggestProgress)
        Module.onSuggestProgress(done, total);
});

namespace {

// The last answer, kept until the next call, and its words (layouts::description).
std::string answer;
std::array<std::uint32_t, widthOf(layouts::description)> answerWords;

std::string candidates(const Suggestions& suggestions)
{
    Description out;
    out.object([&] {
        out.key("converted");
        out.boolean(suggestions.converted);
        out.key("errors");
        out.string(suggestions.errors);
        out.key("players");
        out.integer(suggestions.players);
        out.key("ranked");
        out.array([&] {
            for (const Candidate& c : suggestions.ranked)
                out.object([&] {
                    out.key("switches");
                    out.array([&] {
                        for (std::size_t i = 0; i < c.switches.size(); ++i) {
                            if (i)
                                out.raw(",");
                            out.string(c.switches[i]);
                        }
                    });
                    out.key("typed");
                    out.string(c.typed);
                    songFigures(out, c.figures);
                    out.key("line");
                    out.string(formatSongLine(c.figures));
                    out.key("players");
                    out.integer(c.players);
                    out.key("given");
                    out.boolean(c.given);
                    out.key("words");
                    out.string(c.words);
                });
        });
        out.key("offer");
        out.string(offerLine(suggestions));
    });
    return std::move(out.json);
}

} // namespace

extern "C" {

// The switches are `count` arguments, their bytes one after another in
// `text`, their lengths in `lengths`; `players` above 0 ranks only the
// sets that many players can play (varn2midi --suggest --players). Gives
// the ranked switch sets as a description without numbers.
EMSCRIPTEN_KEEPALIVE const std::uint32_t* m2v_suggest(const unsigned char* midi, std::uint32_t midiSize,
                                                     const char* text, const std::uint32_t* lengths,
                                                     std::uint32_t count, std::uint32_t players)
{
    SuggestRequest request;
    request.players = static_cast<int>(std::min<std::uint32_t>(players, maxPlayers));
    std::size_t at = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        request.switches.emplace_back(text + at, lengths[i]);
        at += lengths[i];
    }
    request.midi = std::span<const unsigned char>(midi, midiSize);
    request.progress = [](std::size_t done, std::size_t total) {
        m2v_suggest_progress(static_cast<unsigned>(done), static_cast<unsigned>(total));
    };
    answer = candidates(suggest(request));
    answerWords = {};
    answerWords[fieldAt(layouts::description, "at")] = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(answer.data()));
    answerWords[fieldAt(layouts::description, "length")] = static_cast<std::uint32_t>(answer.size());
    return answerWords.data();
}

} // extern "C"
