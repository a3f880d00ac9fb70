#include "core/OrderedTasks.h"

#include "core/Message.h"

#include <exception>
#include <string>
#include <vector>

// Threads where the standard library has them (not in the browser, nor in
// a Windows build whose compiler lacks them).
#if defined(_GLIBCXX_HAS_GTHREADS) && !defined(__EMSCRIPTEN__)
#define MIDI2VARN_THREADS 1
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>
#endif

namespace {

// What one task printed and reported, kept until the tasks before it have
// given theirs.
struct Output {
    struct Piece {
        Level level;
        bool macro;
        std::string text;
    };
    std::vector<Piece> pieces;
    Diagnostics diagnostics;
    std::exception_ptr failure;
    bool done = false;
};

// Runs task `i` with a record of its own, gathering what it prints.
void runCaptured(const std::function<void(std::size_t)>& task, std::size_t i, Level level, Output& out)
{
    Message record(
        [&out](const ConsoleText& piece) {
            out.pieces.push_back(Output::Piece{piece.level, piece.macro, std::string(piece.text)});
        },
        level);
    MessageScope scope(record);
    try {
        task(i);
    } catch (...) {
        out.failure = std::current_exception();
    }
    record.flush();
    out.diagnostics = std::move(record.diagnostics);
}

// Hands a task's output to `main`, then lets it go.
void give(Message& main, Output& out)
{
    for (const Output::Piece& piece : out.pieces)
        main.pass(ConsoleText{piece.level, piece.macro, piece.text});
    main.diagnostics.append(out.diagnostics);
    out.pieces = {};
    out.diagnostics = Diagnostics{};
}

void runInTurn(std::size_t count, const std::function<void(std::size_t)>& task)
{
    for (std::size_t i = 0; i < count; ++i)
        task(i);
}

} // namespace

void runOrdered(std::size_t count, const std::function<void(std::size_t)>& task)
{
#ifdef MIDI2VARN_THREADS
    Message* main = currentMessage();
    if (count < 2 || main == nullptr) {
        runInTurn(count, task);
        return;
    }
    std::vector<Output> outputs(count);
    std::mutex lock;
    std::size_t given = 0;         // the outputs handed over so far (under lock)
    bool failed = false;           // a task threw: no later output is given (under lock)
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false}; // a task threw: later tasks need not run
    const Level level = main->msgLevel;
    const auto work = [&] {
        for (std::size_t i; (i = next++) < count && !stop;) {
            runCaptured(task, i, level, outputs[i]);
            if (outputs[i].failure)
                stop = true;
            const std::lock_guard<std::mutex> guard(lock);
            outputs[i].done = true;
            while (!failed && given < count && outputs[given].done) {
                Output& out = outputs[given++];
                give(*main, out);
                failed = out.failure != nullptr;
            }
        }
    };
    std::thread helper;
    try {
        helper = std::thread(work);
    } catch (const std::system_error&) {
        // No second thread to be had: this one does all the work.
    }
    work();
    if (helper.joinable())
        helper.join();
    for (std::size_t i = 0; i < given; ++i)
        if (outputs[i].failure)
            std::rethrow_exception(outputs[i].failure);
#else
    runInTurn(count, task);
#endif
}
