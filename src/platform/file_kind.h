// How a message names what is at a path: the one wording every "is not a
// regular file" message uses.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace vardex::platform {

// "a directory", "a character device", "a FIFO", ... for a stat() mode.
inline const char* FileKindText(mode_t mode) {
    struct Kind {
        mode_t type;
        const char* text;
    };
    static constexpr Kind kKinds[] = {
        {S_IFREG, "a regular file"}, {S_IFDIR, "a directory"}, {S_IFCHR, "a character device"},
        {S_IFBLK, "a block device"}, {S_IFIFO, "a FIFO"},      {S_IFSOCK, "a socket"},
        {S_IFLNK, "a symbolic link"}};
    for (const Kind& kind : kKinds) {
        if ((mode & S_IFMT) == kind.type) {
            return kind.text;
        }
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

}  // namespace vardex::platform
