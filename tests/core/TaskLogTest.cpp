// Tests of a task's log: what it holds, given to a run's record, is what
// the record would have made of the same calls itself.
#include "core/TaskLog.h"

#include "core/Message.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

struct Record {
    std::string text;
    std::vector<std::string> kept; // code, channel and line of each kept
    std::vector<std::uint32_t> counts;
};

// The prints and reports of a task: lines, a line in parts, a macro
// block, reports with and without values on ordinary, missing and wide
// channels, runs of one warning on alternating channels, and a report
// with text.
void task()
{
    Msg(Level::Output, "first line\n");
    MsgContinue(Level::Output, "a line ");
    MsgContinue(Level::Output, "in parts\n");
    for (int k = 0; k < 3; ++k)
        report(Code::ZeroLength, 2);
    for (int k = 0; k < 20; ++k)
        report(Code::ZeroLength, 1);
    report(Code::NoActiveNote, 3, 480, 2, 60);
    report(Code::NoActiveNote, noChannel, 0, 0, 0);
    report(Code::TrackTooShort, 300, 7);
    for (int k = 0; k < 4; ++k)
        report(Code::ZeroLength, 2);
    report(Code::CannotOpenInput, noChannel, "a.mid");
    flushMessages();
    currentMessage()->macro("\"/playthis\"\n");
    Msg(Level::Debug, "last line\n");
}

Record take(Message& record)
{
    record.flush();
    Record r;
    for (const Diagnostic& d : record.diagnostics.kept())
        r.kept.push_back(std::string(codeInfo(d.code).name) + " " + std::to_string(d.channel) + " " + d.text);
    for (const Code code : {Code::ZeroLength, Code::NoActiveNote, Code::TrackTooShort, Code::CannotOpenInput})
        r.counts.push_back(record.diagnostics.count(code));
    return r;
}

} // namespace

TEST(TaskLogTest, GivenLogIsWhatTheRecordMakesItself)
{
    for (const Level level : {Level::Output, Level::Debug}) {
        std::string direct;
        Message straight([&direct](const ConsoleText& piece) { direct += piece.text; }, level);
        {
            MessageScope scope(straight);
            task();
        }
        Record want = take(straight);
        want.text = direct;

        TaskLog log;
        std::string given;
        Message main([&given](const ConsoleText& piece) { given += piece.text; }, level);
        {
            Message record([&log](const ConsoleText& piece) { log.text(piece); }, level);
            record.deferTo(&log);
            MessageScope scope(record);
            task();
            record.flush();
        }
        log.giveTo(main);
        Record got = take(main);
        got.text = given;

        EXPECT_EQ(got.text, want.text) << "level " << static_cast<int>(level);
        EXPECT_EQ(got.kept, want.kept) << "level " << static_cast<int>(level);
        EXPECT_EQ(got.counts, want.counts) << "level " << static_cast<int>(level);
    }
}
