// Fuzz target over the whole conversion, called on the bytes in memory:
// MIDI reader -> song stages -> tune encoder -> macro writer. The first
// bytes of the input choose the settings the command line could have made;
// the rest is the MIDI file (PipelineInput.h has the layout).
#include "PipelineInput.h"

#include "convert/Conversion.h"
#include "tune/TuneText.h"

#include <cstddef>
#include <cstdint>
#include <optional>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::optional<ConversionRequest> request = pipelineRequest(data, size);
    if (!request)
        return 0;
    const Conversion result = convert(*request, [](const ConsoleText&) {});
    for (const TuneRecord& tune : result.tunes)
        if (tune.text.empty() || static_cast<std::int64_t>(tune.text.size()) > TuneText::maxText)
            __builtin_trap();
    if (result.status != 0 && !result.tunes.empty())
        __builtin_trap();
    return 0;
}
