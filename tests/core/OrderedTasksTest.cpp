#include "core/OrderedTasks.h"

#include "core/Message.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

struct TaskRun {
    std::string text;       // every piece the sink got, joined
    std::vector<Code> kept; // the diagnostics kept, in order
    std::uint32_t warnings; // how often the repeated code was counted
    bool threw = false;
};

// Each task prints whole lines, a line in parts and a report, and takes a
// time of its own, so that later tasks often finish first; task `failing`
// throws halfway.
TaskRun runTasks(std::size_t count, std::size_t failing, bool ordered)
{
    TaskRun run;
    Message record([&run](const ConsoleText& piece) { run.text += piece.text; }, Level::Debug);
    MessageScope scope(record);
    Msg(Level::Output, "before: ");
    const auto task = [failing](std::size_t i) {
        Msg(Level::Output, "task %d begins\n", static_cast<int>(i));
        std::this_thread::sleep_for(std::chrono::microseconds((static_cast<int>(i) * 7919) % 400));
        MsgContinue(Level::Output, "part %d", static_cast<int>(i));
        if (i == failing)
            throw std::runtime_error("task failed");
        MsgContinue(Level::Output, ", rest\n");
        for (int k = 0; k < 3; ++k)
            report(Code::ZeroLength, static_cast<int>(i) + 1);
        Msg(Level::Debug, "task %d ends\n", static_cast<int>(i));
    };
    try {
        if (ordered) {
            runOrdered(count, task);
        } else {
            for (std::size_t i = 0; i < count; ++i)
                task(i);
        }
    } catch (const std::runtime_error&) {
        run.threw = true;
    }
    Msg(Level::Output, "after\n");
    record.flush();
    for (const Diagnostic& d : record.diagnostics.kept())
        run.kept.push_back(d.code);
    run.warnings = record.diagnostics.count(Code::ZeroLength);
    return run;
}

} // namespace

TEST(OrderedTasksTest, OutputIsAsIfTheTasksRanInTurn)
{
    struct Case {
        std::size_t count;
        std::size_t failing; // beyond count: none fails
    };
    for (const Case c : {Case{0, 9}, Case{1, 9}, Case{2, 9}, Case{16, 99}, Case{16, 0}, Case{16, 5}, Case{16, 15}}) {
        for (int round = 0; round < 5; ++round) {
            const TaskRun want = runTasks(c.count, c.failing, false);
            const TaskRun got = runTasks(c.count, c.failing, true);
            EXPECT_EQ(got.text, want.text) << c.count << " tasks, failing " << c.failing;
            EXPECT_EQ(got.kept, want.kept) << c.count << " tasks, failing " << c.failing;
            EXPECT_EQ(got.warnings, want.warnings) << c.count << " tasks, failing " << c.failing;
            EXPECT_EQ(got.threw, want.threw) << c.count << " tasks, failing " << c.failing;
        }
    }
}
