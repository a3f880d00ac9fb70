#include "midi/EventDecoder.h"

#include "support/Capture.h"
#include "support/MidiWriter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <span>
#include <sstream>
#include <string>

namespace {

std::span<const unsigned char> asBytes(const std::string& data)
{
    return {reinterpret_cast<const unsigned char*>(data.data()), data.size()};
}

// What one decoding of a chunk body left behind: the track's elements, the
// channel use, where reading stopped, and the console lines other than the
// Notice lines (of every note, tempo and volume change), which only
// verbosity 6 prints.
struct Decoding {
    std::string elements;
    std::string channelUse;
    std::size_t position = 0;
    std::uint32_t consumed = 0;
    bool good = false;
    std::string lines;

    bool operator==(const Decoding&) const = default;
};

void PrintTo(const Decoding& d, std::ostream* os)
{
    *os << "elements " << d.elements << "\nuse " << d.channelUse << "\nat " << d.position << " consumed "
        << d.consumed << (d.good ? " good" : " bad") << "\n" << d.lines;
}

// Decodes `body` as a chunk that declares `length` bytes, at `verbosity`.
Decoding decode(const std::string& body, std::uint32_t length, int verbosity)
{
    setVerbosity(verbosity);
    ByteReader in(asBytes(body));
    Track track;
    ConsoleCapture capture;
    EventDecoder decoder(in, 96, track);
    if (length != 0 && !decoder.reader.atEnd())
        decoder.readEvents(length);

    Decoding d;
    std::ostringstream elements;
    for (const Element& e : track.elements())
        elements << static_cast<int>(e.kind) << ':' << e.time << ':' << int{e.channel} << ':' << e.pitch << ':'
                 << e.velocity << ':' << e.duration << ' ';
    d.elements = elements.str();
    for (int use : decoder.channelUse)
        d.channelUse += std::to_string(use) + ' ';
    d.position = in.position();
    d.consumed = decoder.reader.consumed;
    d.good = in.good();
    std::istringstream printed(capture.take());
    for (std::string line; std::getline(printed, line);)
        if (line.rfind("Notice:", 0) != 0)
            d.lines += line + '\n';
    return d;
}

// A random track body, mostly note-ons and note-offs as a large file has
// them, with deltas of one to five bytes (some padded with empty 7-bit
// groups), running status taken or not, data bytes with the high bit, and
// now and then another event or a stray byte.
std::string randomBody(std::mt19937& random)
{
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::string body;
    const int events = 1 + pick(40);
    for (int i = 0; i < events; ++i) {
        const auto delta = static_cast<std::uint32_t>(pick(4) == 0 ? random() : random() % 200);
        std::string encoded = midi::vlq(delta);
        const std::size_t padding = static_cast<std::size_t>(pick(3));
        while (encoded.size() < 5 && encoded.size() < 1 + padding)
            encoded.insert(0, 1, '\x80');
        body += encoded;
        const int channel = pick(3) * 5;
        const int key = pick(12) == 0 ? 0x80 + pick(128) : 58 + pick(6);
        const int velocity = pick(5) == 0 ? 0 : pick(200);
        switch (pick(14)) {
        case 0: body += midi::bytes({0xB0 | channel, pick(2) == 0 ? 7 : 123, pick(128)}); break;
        case 1: body += midi::bytes({0xC0 | channel, pick(128)}); break;
        case 2: body += midi::bytes({0xFF, 0x06, 0x01, 'M'}); break;
        case 3: body += midi::bytes({0xF0, 0x01, 0xF7}); break;
        case 4: body += midi::bytes({0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}); break;
        case 5: body += midi::bytes({0xFF, 0x2F, 0x00}); break;
        case 6: body += midi::bytes({pick(256)}); break;
        default: {
            const int status = (pick(3) == 0 ? 0x80 : 0x90) | channel;
            // The status byte left out: running status, whatever it is.
            if (pick(2) == 0)
                body += midi::bytes({key, velocity});
            else
                body += midi::bytes({status, key, velocity});
            break;
        }
        }
    }
    return body;
}

// Note events are read straight from the bytes unless every note's line is
// to be shown (verbosity 6). Both ways must give the same track, the same
// channel use, stop at the same byte and give the same warnings, whatever
// the bytes, the declared length and where the input ends.
TEST(EventDecoderTest, NotesReadInPlaceAsEventByEvent)
{
    std::mt19937 random(20240611);
    for (int round = 0; round < 400; ++round) {
        const std::string body = randomBody(random);
        const auto size = static_cast<std::uint32_t>(body.size());
        const std::uint32_t cut = static_cast<std::uint32_t>(random() % (body.size() + 1));
        const struct {
            std::string input;
            std::uint32_t length;
        } cases[] = {
            {body, size},                // the whole chunk
            {body, cut},                 // a length that ends early, maybe inside an event
            {body.substr(0, cut), size}, // input that ends early
            {body + body, size},         // the next chunk's bytes after this one
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::PrintToString(c.input) + " length " + std::to_string(c.length));
            const Decoding inPlace = decode(c.input, c.length, 5);
            const Decoding eventByEvent = decode(c.input, c.length, 6);
            ASSERT_EQ(inPlace, eventByEvent);
        }
    }
    setVerbosity(4);
}

} // namespace
