#include "core/OrderedTasks.h"

#include "core/Message.h"
#include "core/TaskLog.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <exception>
#include <span>
#include <string>
#include <vector>

// Threads where the standard library has them (not in the browser, nor
// with a compiler whose library was built without them).
#if !defined(__EMSCRIPTEN__) &&                                                                      \
    (defined(_GLIBCXX_HAS_GTHREADS) || (defined(_LIBCPP_VERSION) && !defined(_LIBCPP_HAS_NO_THREADS)) || \
     defined(_MSC_VER))
#define MIDI2VARN_THREADS 1
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#endif

namespace {

#ifdef MIDI2VARN_THREADS

// Entries a task ahead of its turn holds before it waits for its turn: a
// few megabytes, more than a channel of a million notes reports, so that
// the threads seldom wait.
std::atomic<std::size_t> holdLimit{std::size_t{1} << 21};

class Turns;

// The task running on this thread, if any.
struct RunningTask {
    static thread_local const Turns* turns;
    static thread_local std::size_t index;
    RunningTask(const Turns* t, std::size_t i)
    {
        turns = t;
        index = i;
    }
    ~RunningTask() { turns = nullptr; }
    RunningTask(const RunningTask&) = delete;
    RunningTask& operator=(const RunningTask&) = delete;
};
thread_local const Turns* RunningTask::turns = nullptr;
thread_local std::size_t RunningTask::index = 0;

// The tasks of one run and the order their output is given in. The task
// whose turn it is gives its log to the run's record as it goes; the
// others keep theirs until their turn comes.
class Turns {
public:
    // The tasks start in `startOrder` (indices of all tasks), or in turn
    // when it is empty.
    Turns(std::size_t count, const std::function<void(std::size_t)>& task,
          const std::function<bool(std::size_t)>& stands, std::span<const std::size_t> startOrder, Message& main)
        : count_(count), task_(task), stands_(stands), startOrder_(startOrder), main_(main), tasks_(count)
    {
        closeUnlessStands(0);
    }

    // The tasks whose output was given.
    std::size_t given() const { return given_; }
    // Whether task `i`'s turn has come: every task before it has given its
    // output, and it stands.
    bool hasTurn(std::size_t i) const { return given_.load() == i && !stopped(); }
    bool stopped() const { return stop_; }

    // Takes tasks until none is left (on every thread of the run).
    void work()
    {
        for (std::size_t k; (k = next_++) < count_ && !stop_;) {
            const std::size_t i = startOrder_.empty() ? k : startOrder_[k];
            // After a failure only the tasks before it are still wanted.
            if (i < firstFailed_)
                run(i);
        }
    }

    // After the run: the first failure of the tasks given, if any.
    void rethrow() const
    {
        for (std::size_t i = 0; i < given_; ++i)
            if (tasks_[i].failure)
                std::rethrow_exception(tasks_[i].failure);
    }

private:

    struct Task {
        TaskLog log;
        std::exception_ptr failure;
        bool started = false;
        bool done = false;
    };

    std::size_t count_;
    const std::function<void(std::size_t)>& task_;
    const std::function<bool(std::size_t)>& stands_;
    std::span<const std::size_t> startOrder_;
    Message& main_;
    std::vector<Task> tasks_;
    std::mutex lock_;
    std::condition_variable turnMoved_; // given_ or closed_ changed
    // Tasks whose output is all given; the next has its turn (changed under
    // lock_, read by a task asking whether its turn has come).
    std::atomic<std::size_t> given_{0};
    // A task given had thrown, or the next did not stand: nothing more is
    // given (under lock_).
    bool closed_ = false;
    // Every task before this one has started (under lock_).
    std::size_t firstNotStarted_ = 0;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> stop_{false}; // closed: no more need start, none has its turn
    std::atomic<std::size_t> firstFailed_{SIZE_MAX}; // the first task that threw (changed under lock_)

    void run(std::size_t i)
    {
        Task& t = tasks_[i];
        const RunningTask running(this, i);
        if (!startOrder_.empty()) {
            const std::lock_guard<std::mutex> guard(lock_);
            t.started = true;
            while (firstNotStarted_ < count_ && tasks_[firstNotStarted_].started)
                ++firstNotStarted_;
        }
        {
            t.log.grown = [this, i](std::size_t entries) { giveIfTurn(i, entries); };
            Message record([&t](const ConsoleText& piece) { t.log.text(piece); }, main_.msgLevel);
            record.deferTo(&t.log);
            MessageScope scope(record);
            try {
                task_(i);
            } catch (...) {
                t.failure = std::current_exception();
            }
            record.flush();
        }
        {
            const std::lock_guard<std::mutex> guard(lock_);
            t.done = true;
            if (t.failure && i < firstFailed_)
                firstFailed_ = i;
            while (!closed_ && given_ < count_ && tasks_[given_].done) {
                Task& head = tasks_[given_];
                head.log.giveTo(main_);
                if (head.failure) {
                    closed_ = true;
                    stop_ = true;
                }
                // Whether the next task stands is settled before its turn
                // shows (a task may look at its turn without the lock).
                closeUnlessStands(given_ + 1);
                ++given_;
            }
        }
        turnMoved_.notify_all();
    }

    // Task `i`, whose turn comes next, is asked whether it stands (under
    // lock_, or before the threads start).
    void closeUnlessStands(std::size_t i)
    {
        if (!closed_ && i < count_ && stands_ && !stands_(i)) {
            closed_ = true;
            stop_ = true;
        }
    }

    // Gives task `i`'s log so far when it is the task's turn; a log grown
    // to `holdLimit` entries waits for it, so that a task ahead of its turn
    // holds at most that much. Tasks started out of turn wait only once
    // every task before theirs has started: those are then running or done,
    // and the first of them, having its turn, never waits, so the turns
    // move on. Until then such a log grows on.
    void giveIfTurn(std::size_t i, std::size_t entries)
    {
        std::unique_lock<std::mutex> guard(lock_);
        if (entries >= holdLimit && (startOrder_.empty() || firstNotStarted_ >= i))
            turnMoved_.wait(guard, [&] { return given_ == i || closed_; });
        if (given_ == i && !closed_)
            tasks_[i].log.giveTo(main_);
    }
};

// The second thread, kept for the whole run of the program and idle
// between runs of tasks. A thread made for each run started late: the
// system first ran it beside its maker on one core, and moved it to the
// idle one only milliseconds later.
class Helper {
public:
    // The helper, started on first use; null when no thread is to be had.
    static Helper* get()
    {
        // Never destroyed: the thread waits on it until the program ends.
        static Helper* const helper = start();
        return helper;
    }

    // Takes on the work of `turns` beside the caller; false when the
    // helper is busy with another run.
    bool take(Turns& turns)
    {
        if (claimed_.exchange(true))
            return false;
        {
            const std::lock_guard<std::mutex> guard(lock_);
            job_ = &turns;
        }
        jobMoved_.notify_all();
        return true;
    }

    // Waits until the work taken is done, and frees the helper.
    void finish()
    {
        std::unique_lock<std::mutex> guard(lock_);
        jobMoved_.wait(guard, [this] { return job_ == nullptr; });
        guard.unlock();
        claimed_ = false;
    }

private:
    std::mutex lock_;
    std::condition_variable jobMoved_; // a job came, or the job is done
    Turns* job_ = nullptr;              // under lock_
    std::atomic<bool> claimed_{false};

    static Helper* start()
    {
        auto* helper = new Helper;
        try {
            std::thread([helper] { helper->serve(); }).detach();
        } catch (const std::system_error&) {
            delete helper;
            return nullptr;
        }
        return helper;
    }

    void serve()
    {
        std::unique_lock<std::mutex> guard(lock_);
        while (true) {
            jobMoved_.wait(guard, [this] { return job_ != nullptr; });
            Turns* turns = job_;
            guard.unlock();
            turns->work();
            guard.lock();
            job_ = nullptr;
            jobMoved_.notify_all();
        }
    }
};

#endif

} // namespace

bool taskHasTurn()
{
#ifdef MIDI2VARN_THREADS
    return RunningTask::turns == nullptr || RunningTask::turns->hasTurn(RunningTask::index);
#else
    return true;
#endif
}

void setTaskHoldLimit(std::size_t entries)
{
#ifdef MIDI2VARN_THREADS
    holdLimit = entries;
#else
    (void)entries;
#endif
}

void prepareTasks()
{
#ifdef MIDI2VARN_THREADS
    Helper::get();
#endif
}

bool tasksRunSideBySide()
{
#ifdef MIDI2VARN_THREADS
    return true;
#else
    return false;
#endif
}

namespace {

std::size_t runInOrder(std::size_t count, const std::function<void(std::size_t)>& task,
                       const std::function<bool(std::size_t)>& stands, std::span<const std::size_t> startOrder)
{
#ifdef MIDI2VARN_THREADS
    Message* main = currentMessage();
    if ((count >= 2 || stands) && main != nullptr) {
        Turns turns(count, task, stands, startOrder, *main);
        Helper* helper = Helper::get();
        std::thread spare; // while the helper is busy (a run within a task)
        if (helper == nullptr || !helper->take(turns)) {
            helper = nullptr;
            try {
                spare = std::thread([&turns] { turns.work(); });
            } catch (const std::system_error&) {
                // No second thread to be had: this one does all the work.
            }
        }
        turns.work();
        if (helper != nullptr)
            helper->finish();
        if (spare.joinable())
            spare.join();
        turns.rethrow();
        return turns.given();
    }
#endif
    (void)startOrder; // one after another, in turn
    for (std::size_t i = 0; i < count; ++i) {
        if (stands && !stands(i))
            return i;
        task(i);
    }
    return count;
}

} // namespace

std::size_t runOrdered(std::size_t count, const std::function<void(std::size_t)>& task,
                       const std::function<bool(std::size_t)>& stands)
{
    return runInOrder(count, task, stands, {});
}

namespace {

// The size class of `size`: sizes within about half an octave share one.
int sizeClass(std::size_t size)
{
    if (size < 2)
        return static_cast<int>(size);
    const int top = std::bit_width(size) - 1; // the highest bit set
    return 2 * top + static_cast<int>((size >> (top - 1)) & 1);
}

} // namespace

void runLargestFirst(std::span<const std::size_t> sizes, const std::function<void(std::size_t)>& task)
{
    // Largest first, so that the last task to start is a small one and the
    // threads finish close together. Tasks of about the same size keep
    // their turn: started out of turn, they would only hold their output
    // longer.
    std::vector<std::size_t> order(sizes.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return sizeClass(sizes[a]) > sizeClass(sizes[b]); });
    runInOrder(sizes.size(), task, {}, order);
}
