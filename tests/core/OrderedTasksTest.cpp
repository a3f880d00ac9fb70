#include "core/OrderedTasks.h"

#include "core/Message.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

struct TaskRun {
    std::string text;              // every piece the sink got, joined
    std::vector<std::string> kept; // the diagnostics kept, in order
    std::uint32_t warnings; // how often the repeated code was counted
    bool threw = false;
    std::size_t given = 0;  // the tasks whose output was given
    bool earlyTurn = false; // a task had its turn before every task before it was done
};

// Each task prints whole lines, a line in parts, `reports` reports with
// numbers (some tasks more than a task ahead of its turn may hold) and one
// with text, and takes a time of its own, so that later tasks often
// finish first; task `failing` throws halfway, and task `refused` does not
// stand. A task that finds its turn has come checks that every task before
// it is done.
enum class Mode { OneByOne, InTurn, LargestFirst };

TaskRun runTasks(std::size_t count, std::size_t failing, std::size_t refused, int reports, Mode mode)
{
    TaskRun run;
    Message record([&run](const ConsoleText& piece) { run.text += piece.text; }, Level::Debug);
    MessageScope scope(record);
    Msg(Level::Output, "before: ");
    std::vector<std::atomic<bool>> done(count);
    std::atomic<bool> earlyTurn{false};
    const auto task = [failing, reports, &done, &earlyTurn](std::size_t i) {
        Msg(Level::Output, "task %d begins\n", static_cast<int>(i));
        std::this_thread::sleep_for(std::chrono::microseconds((static_cast<int>(i) * 7919) % 400));
        for (int k = 0; k < reports; ++k) {
            report(Code::NoActiveNote, static_cast<int>(i) + 1, k, static_cast<int>(i), 60);
            if (k % 500 == 0 && taskHasTurn())
                for (std::size_t j = 0; j < i; ++j)
                    if (!done[j])
                        earlyTurn = true;
        }
        report(Code::CannotOpenInput, noChannel, "task.mid");
        report(Code::TrackTooShort, 300 + static_cast<int>(i), 7); // a channel too wide to pack
        MsgContinue(Level::Output, "part %d", static_cast<int>(i));
        if (i == failing)
            throw std::runtime_error("task failed");
        MsgContinue(Level::Output, ", rest\n");
        for (int k = 0; k < 3; ++k)
            report(Code::ZeroLength, static_cast<int>(i) + 1);
        Msg(Level::Debug, "task %d ends\n", static_cast<int>(i));
        done[i] = true;
    };
    try {
        if (mode == Mode::InTurn) {
            const auto stands = [refused](std::size_t i) { return i != refused; };
            run.given = refused < count ? runOrdered(count, task, stands) : runOrdered(count, task);
        } else if (mode == Mode::LargestFirst) {
            // Sizes that start the tasks in a scrambled order, some equal.
            std::vector<std::size_t> sizes;
            for (std::size_t i = 0; i < count; ++i)
                sizes.push_back((i * 5 + 2) % 7);
            runLargestFirst(sizes, task);
            run.given = count;
        } else {
            for (; run.given < count && run.given != refused; ++run.given)
                task(run.given);
        }
    } catch (const std::runtime_error&) {
        run.threw = true;
    }
    run.earlyTurn = earlyTurn;
    Msg(Level::Output, "after\n");
    record.flush();
    for (const Diagnostic& d : record.diagnostics.kept())
        run.kept.push_back(std::string(codeInfo(d.code).name) + " " + std::to_string(d.channel) + " " + d.text);
    run.warnings = record.diagnostics.count(Code::ZeroLength) + record.diagnostics.count(Code::NoActiveNote);
    return run;
}

} // namespace

TEST(OrderedTasksTest, OutputIsAsIfTheTasksRanInTurn)
{
    setTaskHoldLimit(std::size_t{1} << 16);
    struct Case {
        std::size_t count;
        std::size_t failing; // beyond count: none fails
        std::size_t refused; // beyond count: all stand
        int reports;
    };
    for (const Case c : {Case{0, 9, 9, 10}, Case{1, 9, 9, 10}, Case{2, 9, 9, 5000}, Case{16, 99, 99, 5000},
                         Case{16, 0, 99, 5000}, Case{16, 5, 99, 5000}, Case{16, 15, 99, 5000}, Case{16, 99, 0, 5000},
                         Case{16, 99, 7, 5000}, Case{16, 9, 7, 5000}, Case{3, 99, 99, 70000}, Case{3, 1, 99, 70000},
                         Case{3, 99, 2, 70000}}) {
        for (int round = 0; round < 3; ++round) {
            const TaskRun want = runTasks(c.count, c.failing, c.refused, c.reports, Mode::OneByOne);
            const TaskRun got = runTasks(c.count, c.failing, c.refused, c.reports, Mode::InTurn);
            EXPECT_EQ(got.text, want.text) << c.count << " tasks, failing " << c.failing << ", refused " << c.refused;
            EXPECT_EQ(got.kept, want.kept) << c.count << " tasks, failing " << c.failing << ", refused " << c.refused;
            EXPECT_EQ(got.warnings, want.warnings) << c.count << " tasks, failing " << c.failing << ", refused " << c.refused;
            EXPECT_FALSE(got.earlyTurn) << c.count << " tasks";
            EXPECT_EQ(got.threw, want.threw) << c.count << " tasks, failing " << c.failing << ", refused " << c.refused;
            if (!want.threw) {
                EXPECT_EQ(got.given, want.given) << c.count << " tasks, refused " << c.refused;
            }
        }
    }
}

// Tasks started largest first give the same output as in turn. With more
// reports than a task ahead of its turn holds, some tasks wait for their
// turn and others, started before a task ahead of them, grow on: neither
// may hang.
TEST(OrderedTasksTest, LargestFirstGivesTheOutputInTurn)
{
    struct Case {
        std::size_t count;
        std::size_t failing; // beyond count: none fails
        int reports;
    };
    setTaskHoldLimit(std::size_t{1} << 16);
    for (const Case c : {Case{0, 9, 10}, Case{1, 9, 10}, Case{2, 9, 5000}, Case{16, 99, 5000}, Case{16, 3, 5000},
                         Case{16, 14, 5000}, Case{3, 99, 80000}, Case{4, 99, 80000}, Case{4, 1, 80000}}) {
        const TaskRun want = runTasks(c.count, c.failing, 99, c.reports, Mode::OneByOne);
        const TaskRun got = runTasks(c.count, c.failing, 99, c.reports, Mode::LargestFirst);
        EXPECT_EQ(got.text, want.text) << c.count << " tasks, failing " << c.failing;
        EXPECT_EQ(got.kept, want.kept) << c.count << " tasks, failing " << c.failing;
        EXPECT_EQ(got.warnings, want.warnings) << c.count << " tasks, failing " << c.failing;
        EXPECT_FALSE(got.earlyTurn) << c.count << " tasks";
        EXPECT_EQ(got.threw, want.threw) << c.count << " tasks, failing " << c.failing;
    }
}

// A run of tasks within a task of another run: the inner run finds the
// program's second thread busy with the outer one and makes do. Every line
// still comes in turn.
TEST(OrderedTasksTest, RunsWithinTasksGiveTheirOutputInTurn)
{
    for (int round = 0; round < 3; ++round) {
        std::string text;
        Message record([&text](const ConsoleText& piece) { text += piece.text; }, Level::Debug);
        MessageScope scope(record);
        runOrdered(4, [](std::size_t i) {
            Msg(Level::Output, "outer %d\n", static_cast<int>(i));
            runOrdered(3, [i](std::size_t j) {
                std::this_thread::sleep_for(std::chrono::microseconds(((i * 3 + j) * 7919) % 300));
                Msg(Level::Output, "inner %d.%d\n", static_cast<int>(i), static_cast<int>(j));
            });
        });
        record.flush();
        std::string want;
        for (int i = 0; i < 4; ++i) {
            want += "Output: outer " + std::to_string(i) + "\n";
            for (int j = 0; j < 3; ++j)
                want += "Output: inner " + std::to_string(i) + "." + std::to_string(j) + "\n";
        }
        EXPECT_EQ(text, want);
    }
}
