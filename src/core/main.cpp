// The driver: reads the command line and the MIDI file into the song, runs
// the conversion stages in order and writes the macro text.
#include "arrange/Song.h"
#include "core/Message.h"
#include "midi/ParserMID.h"
#include "options/Options.h"

#include <cstdio>
#include <string>

int main(int argc, char* argv[])
{
    // The song lives until the process ends, like the option and message
    // records: freeing a million elements one by one at the end would only
    // cost time. The static pointer keeps it reachable for leak checkers.
    static Song* const song = new Song();

    MsgSilent(0, "MIDI-to-VARN converter v2.1 - converts Standard MIDI to Varnholt Tune Format\n");

    Options::_argc = argc;
    Options::_argv = argv;
    if (Options::_instance == nullptr)
        Options::_instance = new Options();
    if (!Options::_instance->parseOptions(song))
        return 1;

    const std::string inputName = Options::_instance->inputName;
    ParserMID parser;
    if (!parser.loadSong(inputName, song)) {
        Msg(0, "Could not parse MIDI file.\n");
        return 1;
    }

    song->sortToChannels();
    song->smoothChannels();
    song->print();
    song->createVARN();

    // The output is opened only now, so a failed run leaves an existing file alone.
    const std::string outputName = Options::_instance->outputName;
    const bool toStdout = (outputName == "-");
    FILE* out = toStdout ? stdout : std::fopen(outputName.c_str(), "wt");
    if (out == nullptr) {
        Msg(0, "Could not open \"%s\".\n", outputName.c_str());
        return 1;
    }

    song->printVARN(out);

    // A full disk shows up only when the buffered text is flushed or closed.
    bool written = std::fflush(out) == 0 && std::ferror(out) == 0;
    if (!toStdout && std::fclose(out) != 0)
        written = false;
    if (!written) {
        Msg(0, "Could not write \"%s\".\n", outputName.c_str());
        std::fflush(stdout);
        return 1;
    }
    return 0;
}
