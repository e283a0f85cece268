// What the headless commands take from outside: the files they read and write, checked at every
// step, and input bytes shown safely in their messages.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::app {

// Input bytes as a message may show them: control bytes, DEL and bytes that are not UTF-8 as
// \xNN (\t, \r and \n by name), a backslash doubled, and a text longer than `limit` bytes cut
// with a note of its full length, so that no terminal escape and no 50 MB line reaches the
// operator's terminal as it is.
std::string shown(std::string_view bytes, size_t limit = 80);

// Flushes standard output and tells whether everything written to it arrived (a full disk, a
// closed pipe and /dev/full make it false).
bool flushStandardOutput();

// A file a command reads or writes, with the option or role that names it in messages
// ("the scenario", "--trace").
struct NamedPath {
    std::string role;
    std::string path;
};

// Reads a whole scenario or similar text file. Refuses, without blocking, anything that is not
// a regular file (a folder, a FIFO, a device) and a file larger than `maxBytes`.
bool readRegularFile(const std::string& path, size_t maxBytes, std::string& text,
                     std::string& error);

// Checks the outputs before anything is opened: none may be a folder or socket, nor name the
// same file (same device and inode, or the same canonical path) as an input or as another
// output. Returns "" when they can be used, or the message.
std::string checkOutputs(const std::vector<NamedPath>& inputs,
                         const std::vector<NamedPath>& outputs);

// An output file written in one go at the end, every write and the close checked. It is opened
// at once, so that a path that cannot be written stops a command before a long run, but emptied
// only when it is written: a run that ends without writing it leaves an existing file as it
// was and removes one it made. A FIFO without a reader is refused instead of waited on.
class OutputFile {
  public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // Opens `path` for writing; false with a message naming `role` if it cannot be.
    bool open(const std::string& role, const std::string& path, std::string& error);
    bool isOpen() const { return fd_ >= 0; }
    // Writes all of `data`, then closes the file. False with a message if any byte or the close
    // failed (a full disk, /dev/full, a reader that went away).
    bool writeAndClose(std::string_view data, std::string& error);

  private:
    int fd_ = -1;
    bool made_ = false;  // the file did not exist before open()
    std::string role_;
    std::string path_;
};

}  // namespace ostrel::app
