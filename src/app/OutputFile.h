#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

// An output file that a run either replaces whole or leaves as it was.
//
// A plain file, or one that does not exist yet, is written to a temporary
// file in the same folder, "NAME.PROGRAM-PID.partial", which takes the
// output's name only once every byte is written, flushed and closed. On
// POSIX it gets the permission bits of the file it replaces. A failure, an
// abandoned run or an interrupt (SIGINT, SIGTERM, SIGHUP; a console's
// Ctrl+C or close on Windows) removes the temporary file, and the next run
// for the same output removes such files left by runs before it.
//
// Anything else that exists under the name (a device such as /dev/null, a
// pipe, a symbolic link, a folder) is opened in place as it is.
class OutputFile {
public:
    // `program` goes into the temporary file's name.
    explicit OutputFile(std::string program);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens the output `name` for writing in the C runtime's `mode` ("wt",
    // "wb"). False where the output cannot be written: where the file
    // itself would not open for writing, or no temporary file can be made
    // beside it.
    bool open(const std::string& name, const char* mode);
    // The stream to write to, once open.
    std::FILE* stream() const { return file_; }
    // Flushes and closes the stream and puts the new file in place. False
    // when any byte may have failed to reach it; a replaced file is then
    // left as it was.
    bool commit();
    // Closes the stream without putting anything in place.
    void abandon();

private:
    std::string program_;
    std::filesystem::file_time_type start_; // files older than this are stale
    std::string name_;
    std::string temporary_; // empty when written in place
    std::FILE* file_ = nullptr;
};
