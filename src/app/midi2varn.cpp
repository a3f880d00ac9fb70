// The command-line program: reads the switches and the MIDI file, runs the
// conversion with its report on standard output, and writes the macro
// blocks to the output file.
#include "app/ConsoleWait.h"
#include "app/FileAccess.h"
#include "app/InputFile.h"
#include "app/OutputCheck.h"
#include "app/OutputFile.h"
#include "convert/Conversion.h"
#include "core/Message.h"
#include "options/Options.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

// The console stream goes to standard output as it is produced.
void toStdout(const ConsoleText& piece)
{
    std::fwrite(piece.text.data(), 1, piece.text.size(), stdout);
}

// The console stream of a conversion on its way to standard output. Into a
// file or a pipe it goes in large pieces: the warnings of a large file run
// to a million lines, and a write per line would cost more than making
// them. A terminal gets every line as it comes.
class ConsoleOut {
public:
    ConsoleOut() : direct_(isTerminal(stdout)) {}
    ~ConsoleOut() { flush(); }
    ConsoleOut(const ConsoleOut&) = delete;
    ConsoleOut& operator=(const ConsoleOut&) = delete;

    // Writes `piece`, or keeps it for the next large write.
    void put(const ConsoleText& piece)
    {
        const std::string_view text = piece.text;
        if (!direct_ && text.size() <= room_.size() - used_) {
            // The usual case: a line of a few dozen characters.
            std::memcpy(room_.data() + used_, text.data(), text.size());
            used_ += text.size();
            return;
        }
        flush();
        if (direct_ || text.size() >= room_.size())
            std::fwrite(text.data(), 1, text.size(), stdout); // a tune line goes out as it is
        else
            put(piece);
    }
    // Writes what is kept.
    void flush()
    {
        std::fwrite(room_.data(), 1, used_, stdout);
        used_ = 0;
    }

private:
    bool direct_;
    std::array<char, std::size_t{1} << 16> room_;
    std::size_t used_ = 0;
};

// True when writing `output` would overwrite the file `input` ("-" is
// standard output).
bool namesInput(const std::string& input, const std::string& output)
{
    return output != "-" && namesSameFile(input, output);
}

// Flushes standard output; false when the text did not all reach it (a
// full disk shows up only when it is flushed).
bool finishConsole()
{
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
}

// Prints the console lines kept so far.
void replay(const std::vector<ConsoleLine>& lines)
{
    for (const ConsoleLine& line : lines)
        std::fwrite(line.text.data(), 1, line.text.size(), stdout);
}

// Reports `code` about the file `name` at the run's verbosity.
void fatal(Level verbosity, Code code, const std::string& name)
{
    Message console(toStdout, verbosity);
    MessageScope scope(console);
    report(code, noChannel, name.c_str());
    console.flush();
    std::fflush(stdout);
}

int run(int argc, char* argv[])
{
    const Utf8Console console;
    const std::vector<std::string> args = programArguments(argc, argv);
    const CommandLine commandLine = parseOptions(args, namesInput);
    std::fputs(commandLine.errors.c_str(), stderr);
    if (!commandLine.proceed) {
        replay(commandLine.lines);
        return commandLine.status;
    }
    // Checked before the input is read: a refused run touches no file.
    if (isMidiOutput(commandLine.outputName)) {
        replay(commandLine.lines);
        fatal(commandLine.settings.verbosity, Code::OutputIsMidi, commandLine.outputName);
        return 1;
    }

    InputBytes input = readInputFile(commandLine.inputName);
    const std::string& outputName = commandLine.outputName;
    const bool toConsole = outputName == "-";
    OutputFile file("midi2varn");
    std::FILE* out = nullptr;

    ConversionRequest request;
    request.settings = commandLine.settings;
    request.inputName = commandLine.inputName;
    request.outputName = outputName;
    request.inputRead = input.opened;
    request.midiBytes = std::move(input.bytes);
    request.preamble = commandLine.lines;
    request.openOutput = [&] {
        out = toConsole ? stdout : file.open(outputName, "wt") ? file.stream() : nullptr;
        return out != nullptr;
    };
    // Write errors are found when the file is flushed and closed.
    request.writeOutput = [&](std::string_view block) { std::fwrite(block.data(), 1, block.size(), out); };
    ConsoleOut consoleOut;
    const Conversion result = convert(std::move(request), [&](const ConsoleText& piece) { consoleOut.put(piece); });
    consoleOut.flush();
    // A failed conversion leaves the output as it was.
    if (result.status != 0)
        return result.status;

    if (!(toConsole ? finishConsole() : file.commit())) {
        fatal(commandLine.settings.verbosity, Code::CannotWriteOutput, outputName);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    const int status = run(argc, argv);
    std::fflush(stdout);
    waitIfOwnConsoleWindow();
    return status;
}
