// How a message names what is at a path: the one wording every "is not a
// regular file" message uses.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace vardex {

// "a directory", "a character device", "a FIFO", ... for a stat() mode.
inline const char* FileKindText(mode_t mode) {
    if (S_ISREG(mode)) {
        return "a regular file";
    }
    if (S_ISDIR(mode)) {
        return "a directory";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    if (S_ISLNK(mode)) {
        return "a symbolic link";
    }
    return "something else";
}

// "<path> is a FIFO, not <wanted>": a path that holds the wrong kind of file.
// through_link: a symbolic link was followed there ("leads to").
inline std::string WrongFileKindText(const std::string& path, mode_t mode, std::string_view wanted,
                                     bool through_link = false) {
    return path + (through_link ? " leads to " : " is ") + FileKindText(mode) + ", not " +
           std::string(wanted);
}

}  // namespace vardex
