// Checked reads and writes of the headless commands' files, and input bytes made safe to show.
#include "app/Inputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>

namespace ostrel::app {

namespace {

// The length of the UTF-8 sequence that starts at `s[i]`, or 0 if none does. C1 controls
// (U+0080-U+009F) count as none: a terminal takes U+009B as the start of an escape.
size_t utf8Length(std::string_view s, size_t i) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char b = at(i);
    size_t n = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((at(i + k) & 0xC0) != 0x80) return 0;
    }
    if (b == 0xC2 && at(i + 1) < 0xA0) return 0;   // C1 controls
    if (b == 0xE0 && at(i + 1) < 0xA0) return 0;   // overlong
    if (b == 0xED && at(i + 1) >= 0xA0) return 0;  // surrogates
    if ((b == 0xF0 && at(i + 1) < 0x90) || (b == 0xF4 && at(i + 1) >= 0x90)) return 0;
    return n;
}

std::string errnoText(int error) {
    return std::strerror(error);
}

bool samePath(const std::string& a, const std::string& b) {
    std::error_code ea, eb;
    const std::filesystem::path ca = std::filesystem::weakly_canonical(a, ea);
    const std::filesystem::path cb = std::filesystem::weakly_canonical(b, eb);
    return !ea && !eb && ca == cb;
}

// Whether two paths name one file: the same inode where both exist, else the same canonical
// path (an output not yet made, reached through a link to where an input will be read).
bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0) {
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    }
    return samePath(a, b);
}

}  // namespace

std::string shown(std::string_view bytes, size_t limit) {
    std::string out;
    size_t i = 0;
    while (i < bytes.size() && i < limit) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b >= 0x20 && b < 0x7F) {
            if (b == '\\') out += '\\';
            out += static_cast<char>(b);
            ++i;
            continue;
        }
        if (b == '\t' || b == '\r' || b == '\n') {
            out += b == '\t' ? "\\t" : b == '\r' ? "\\r" : "\\n";
            ++i;
            continue;
        }
        if (const size_t n = utf8Length(bytes, i); n > 0) {
            out.append(bytes.substr(i, n));
            i += n;
            continue;
        }
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", b);
        out += hex;
        ++i;
    }
    if (i < bytes.size()) out += "... (" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

bool flushStandardOutput() {
    std::cout.flush();
    const bool streamOk = std::cout.good();
    return std::fflush(stdout) == 0 && !std::ferror(stdout) && streamOk;
}

bool readRegularFile(const std::string& path, size_t maxBytes, std::string& text,
                     std::string& error) {
    const std::string name = shown(path, 200);
    // NOTE: O_NONBLOCK, so that opening a FIFO no one writes to returns at once; fstat then
    // tells what the path is before a byte is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot read " + name + ": " + errnoText(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "cannot read " + name + ": " +
                (S_ISDIR(st.st_mode) ? std::string("it is a folder")
                                     : std::string("it is not a regular file (a FIFO, a device "
                                                   "or a socket)"));
        ::close(fd);
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) > maxBytes) {
        error = "cannot read " + name + ": it is larger than " +
                std::to_string(maxBytes / (1024 * 1024)) + " MB";
        ::close(fd);
        return false;
    }
    text.clear();
    text.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = "cannot read " + name + ": " + errnoText(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        if (text.size() + static_cast<size_t>(n) > maxBytes) {
            error = "cannot read " + name + ": it is larger than " +
                    std::to_string(maxBytes / (1024 * 1024)) + " MB";
            ::close(fd);
            return false;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

std::string checkOutputs(const std::vector<NamedPath>& inputs,
                         const std::vector<NamedPath>& outputs) {
    for (size_t i = 0; i < outputs.size(); ++i) {
        const NamedPath& out = outputs[i];
        const std::string name = shown(out.path, 200);
        struct stat st {};
        const bool exists = ::stat(out.path.c_str(), &st) == 0;
        if (exists && S_ISDIR(st.st_mode)) return out.role + " " + name + " is a folder";
        if (exists && S_ISSOCK(st.st_mode)) return out.role + " " + name + " is a socket";
        for (const NamedPath& in : inputs) {
            if (!in.path.empty() && sameFile(out.path, in.path)) {
                return out.role + " " + name + " is " + in.role + " " + shown(in.path, 200) +
                       " itself: writing it would destroy it; choose another file";
            }
        }
        // Two outputs may share a device such as /dev/null, never a file.
        if (exists && S_ISCHR(st.st_mode)) continue;
        for (size_t j = 0; j < i; ++j) {
            if (sameFile(out.path, outputs[j].path)) {
                return outputs[j].role + " and " + out.role + " name the same file " + name +
                       ": choose two files";
            }
        }
    }
    return {};
}

OutputFile::~OutputFile() {
    if (fd_ < 0) return;
    ::close(fd_);
    if (made_) ::unlink(path_.c_str());
}

bool OutputFile::open(const std::string& role, const std::string& path, std::string& error) {
    role_ = role;
    path_ = path;
    // NOTE: O_NONBLOCK so that a FIFO with no reader fails (ENXIO) instead of waiting for one;
    // the writes themselves block as usual.
    struct stat before {};
    made_ = ::lstat(path.c_str(), &before) != 0 && errno == ENOENT;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) {
        const int e = errno;
        error = "cannot write " + role + " " + shown(path, 200) + ": " +
                (e == ENXIO ? std::string("it is a FIFO that no process reads") : errnoText(e));
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
    return true;
}

bool OutputFile::writeAndClose(std::string_view data, std::string& error) {
    if (fd_ < 0) {
        error = "cannot write " + role_ + " " + shown(path_, 200) + ": it is not open";
        return false;
    }
    int failure = 0;
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(fd_, 0) != 0) failure = errno;
    while (failure == 0 && !data.empty()) {
        const ssize_t n = ::write(fd_, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failure = n < 0 ? errno : EIO;
            break;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    if (::close(fd_) != 0 && failure == 0) failure = errno;
    fd_ = -1;
    made_ = false;
    if (failure != 0) {
        error = "cannot write " + role_ + " " + shown(path_, 200) + ": " + errnoText(failure);
        return false;
    }
    return true;
}

}  // namespace ostrel::app
