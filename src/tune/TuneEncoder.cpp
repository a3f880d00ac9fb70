// The tune of one channel: its encoding and the rest and volume tokens.
#include "tune/TuneEncoder.h"

#include "core/WrappingArithmetic.h"
#include "tune/TuneWriter.h"

void TuneEncoder::encode(std::span<const Element> elements, int transpose, bool triplets, bool longChords, bool upperC)
{
    encode(elements, TuneOptions{transpose, triplets, longChords, upperC, false});
}

void TuneEncoder::encode(std::span<const Element> elements, const TuneOptions& options, std::vector<WrittenNote>* written)
{
    TuneWriter writer(elements, options);
    writer.record(written);
    writer.write();
    status = writer.status();
    std::string made = writer.text().take();
    if (!made.empty())
        text = std::move(made);
}

void TuneEncoder::addPause(TuneText& out, int sixteenths)
{
    if (sixteenths <= 0)
        return;
    if (sixteenths >= 8 && !out.put("p8", sixteenths / 8))
        return;
    const int rest = sixteenths % 8;
    if (rest == 2) {
        out.put('p');
    } else if (rest > 0) {
        out.put('p');
        out.put(rest);
    }
}

void TuneEncoder::putVolumeChange(TuneText& out, int& current, int wanted)
{
    if (wanted == addWrap(current, 1)) {
        out.put('}');
    } else if (wanted == subWrap(current, 1)) {
        out.put('{');
    } else {
        out.put('%');
        if (wanted != 10)
            out.put(wanted);
    }
    current = wanted;
}
