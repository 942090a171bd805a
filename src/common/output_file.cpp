#include <vorn/output_file.h>
#include <vorn/result.h>

#include <fcntl.h>
#include <linux/magic.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace vorn {

namespace {

// As many links as the kernel follows in one path before it gives up with ELOOP.
constexpr int MaxLinkHops = 40;

// The temporary file is `.<name>.vorn-XXXXXX`: hidden, and never taken for the output.
constexpr char TempPrefix[] = ".";
constexpr char TempTag[] = ".vorn-";
constexpr int TempRandomChars = 6;
constexpr int TempNameTries = 100;
// A long output name is cut in the temporary name so that the latter still fits NAME_MAX.
constexpr std::size_t TempExtraChars = sizeof TempPrefix - 1 + sizeof TempTag - 1 + TempRandomChars;
constexpr std::size_t MaxNameInTemp = NAME_MAX - TempExtraChars;

constexpr int CleanupSignals[] = {SIGHUP, SIGINT, SIGTERM};
constexpr int CleanupSignalCount = sizeof CleanupSignals / sizeof CleanupSignals[0];

OutputWriteHook write_hook = nullptr;

// The temporary file, for the signal handler: its path, and whether it exists now.
char temp_path[PATH_MAX];
volatile sig_atomic_t temp_exists = 0;

// Only async-signal-safe calls here: remove the temporary file, then let the signal end the
// process as it would have without us. The signal is blocked while its handler runs, so the
// raised one is delivered, with the default action set here, as soon as the handler returns.
// (With this handler still in place it would only come back here, for ever.)
extern "C" void remove_temp_and_reraise(int signal_number) {
    if (temp_exists)
        unlink(temp_path);
    temp_exists = 0;
    struct sigaction default_action = {};
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    sigaction(signal_number, &default_action, nullptr);
    raise(signal_number);
}

// The cleanup handlers are in place only while the temporary file exists.
class CleanupHandlers {
public:
    CleanupHandlers() {
        sigemptyset(&signals_);
        for (int signal_number : CleanupSignals)
            sigaddset(&signals_, signal_number);
    }

    // Blocks the signals, so that the temporary file and our note of it come and go together.
    void block() { sigprocmask(SIG_BLOCK, &signals_, &outer_mask_); }
    void unblock() { sigprocmask(SIG_SETMASK, &outer_mask_, nullptr); }

    // Installs the handler for each signal that the process does not ignore: a job started
    // in the background or under nohup must not be ended by a signal it was meant to ignore.
    void install() {
        struct sigaction action = {};
        action.sa_handler = remove_temp_and_reraise;
        action.sa_mask = signals_;
        for (int i = 0; i < CleanupSignalCount; ++i) {
            installed_[i] = false;
            if (sigaction(CleanupSignals[i], nullptr, &saved_[i]) != 0)
                continue;
            if (!(saved_[i].sa_flags & SA_SIGINFO) && saved_[i].sa_handler == SIG_IGN)
                continue;
            installed_[i] = sigaction(CleanupSignals[i], &action, nullptr) == 0;
        }
    }

    void restore() {
        for (int i = 0; i < CleanupSignalCount; ++i)
            if (installed_[i])
                sigaction(CleanupSignals[i], &saved_[i], nullptr);
    }

private:
    sigset_t signals_;
    sigset_t outer_mask_;
    struct sigaction saved_[CleanupSignalCount];
    bool installed_[CleanupSignalCount] = {};
};

// A write beyond the file-size limit (ulimit -f) raises SIGXFSZ, whose default action ends
// the process with the temporary file left behind. Ignored, the write fails with EFBIG.
class FileSizeSignalIgnored {
public:
    FileSizeSignalIgnored() {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        changed_ = sigaction(SIGXFSZ, &ignore, &saved_) == 0;
    }
    ~FileSizeSignalIgnored() {
        if (changed_)
            sigaction(SIGXFSZ, &saved_, nullptr);
    }
    FileSizeSignalIgnored(const FileSizeSignalIgnored&) = delete;
    FileSizeSignalIgnored& operator=(const FileSizeSignalIgnored&) = delete;

private:
    struct sigaction saved_;
    bool changed_;
};

bool write_all(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool copy_path(char* to, const char* from) {
    std::size_t length = strlen(from);
    if (length >= PATH_MAX)
        return false;
    memcpy(to, from, length + 1);
    return true;
}

// Where the last path component starts: just after the last '/', or 0.
std::size_t name_start(const char* path) {
    const char* slash = strrchr(path, '/');
    return slash ? static_cast<std::size_t>(slash - path) + 1 : 0;
}

// Whether the link at path is one of /proc's (also when reached as /dev/fd/N or
// /dev/stdout): those lead to open files, pipes and terminals, not to names.
bool is_proc_link(const char* path) {
    char folder[PATH_MAX];
    std::size_t length = name_start(path);
    if (length == 0) {
        folder[length++] = '.';
    } else {
        memcpy(folder, path, length);
    }
    folder[length] = '\0';
    struct statfs fs;
    return statfs(folder, &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

// Follows path, while it is a symbolic link, to the name at the end of the chain, as the
// kernel would when it opens it: a relative link is read from the link's own folder. A name
// that is no link, or does not exist, ends the chain. False when the chain cannot be followed
// by name: a loop, a path too long, or a link of /proc.
bool follow_links(const char* path, char* target) {
    if (!copy_path(target, path))
        return false;
    for (int hop = 0; hop < MaxLinkHops; ++hop) {
        char link[PATH_MAX];
        ssize_t length = readlink(target, link, sizeof link);
        if (length < 0)
            return true;
        if (static_cast<std::size_t>(length) >= sizeof link || is_proc_link(target))
            return false;
        link[length] = '\0';
        std::size_t folder = link[0] == '/' ? 0 : name_start(target);
        if (folder + static_cast<std::size_t>(length) >= PATH_MAX)
            return false;
        memcpy(target + folder, link, static_cast<std::size_t>(length) + 1);
    }
    return false;
}

// Makes `.<name>.vorn-XXXXXX` beside target, exclusively, and notes its path in temp_path.
// Returns the open descriptor, or -1 with errno set.
int create_temp_file(const char* target, mode_t mode) {
    static uint64_t seed;
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::size_t folder = name_start(target);
    std::size_t name_length = strlen(target + folder);
    if (name_length > MaxNameInTemp)
        name_length = MaxNameInTemp;
    std::size_t length = folder + name_length + TempExtraChars;
    if (length >= PATH_MAX) {
        errno = ENAMETOOLONG;
        return -1;
    }
    char* at = temp_path;
    memcpy(at, target, folder);
    at += folder;
    memcpy(at, TempPrefix, sizeof TempPrefix - 1);
    at += sizeof TempPrefix - 1;
    memcpy(at, target + folder, name_length);
    at += name_length;
    memcpy(at, TempTag, sizeof TempTag - 1);
    at += sizeof TempTag - 1;
    for (int attempt = 0; attempt < TempNameTries; ++attempt) {
        // Clashes only cost a retry (O_EXCL): the time, the process and a counter will do.
        struct timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        seed += 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(now.tv_nsec) ^
                (static_cast<uint64_t>(getpid()) << 32) ^ static_cast<uint64_t>(now.tv_sec);
        uint64_t bits = seed;
        bits = (bits ^ (bits >> 30)) * 0xBF58476D1CE4E5B9ull;
        bits = (bits ^ (bits >> 27)) * 0x94D049BB133111EBull;
        bits ^= bits >> 31;
        for (int i = 0; i < TempRandomChars; ++i) {
            at[i] = letters[bits % (sizeof letters - 1)];
            bits /= sizeof letters - 1;
        }
        at[TempRandomChars] = '\0';
        int fd = open(temp_path, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

// The new file of an existing output gets the old one's permission bits, and its owner and
// group where we may give them (root may; a user may only keep a file). Best effort: a file
// system that keeps no modes, or an owner we cannot give the file to, does not stop the write.
// No set-user-ID or set-group-ID bit is carried over: the file is not the old one's owner's.
bool take_over_owner_and_mode(int fd, const struct stat& old) {
    struct stat now;
    bool owner = fstat(fd, &now) == 0 && now.st_uid == old.st_uid && now.st_gid == old.st_gid;
    if (!owner)
        owner = fchown(fd, old.st_uid, old.st_gid) == 0;
    bool mode = fchmod(fd, old.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO)) == 0;
    return owner && mode;
}

// Errors that say no file may be made beside the output, or the output may not be
// renamed over, although the output itself may be written: then it is written in place.
bool calls_for_writing_in_place(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == ENAMETOOLONG ||
           error == EBUSY || error == EXDEV;
}

// After a failed write in place nothing partly written may stay: remove the file, or, where
// it cannot be removed (its folder is not ours to write), empty it. False when neither worked.
bool discard_partial_file(const char* name) { return unlink(name) == 0 || truncate(name, 0) == 0; }

// Writes into the open file fd from its start, as opening the output for writing always
// did. A regular file that was not written whole is discarded, by the name it was found at.
OutputWrite write_in_place(int fd, const char* name, const void* data, std::size_t size) {
    struct stat st;
    bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    bool written = (!regular || ftruncate(fd, 0) == 0) &&
                   write_all(fd, static_cast<const unsigned char*>(data), size);
    if (close(fd) != 0)
        written = false;
    if (written)
        return OutputWrite::Written;
    if (regular)
        discard_partial_file(name);
    return OutputWrite::CannotWrite;
}

// Opens path for writing as the compiler always did (create, or truncate) and writes it.
OutputWrite open_and_write_in_place(const char* path, const char* name, const void* data,
                                    std::size_t size) {
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0)
        return OutputWrite::CannotOpen;
    return write_in_place(fd, name, data, size);
}

// The temporary file is written and closed: rename it over target. False with errno set
// when the rename failed; the temporary file is then removed.
bool finish_temp_file(CleanupHandlers& handlers, const char* target, bool written) {
    handlers.block();
    bool renamed = written && rename(temp_path, target) == 0;
    int error = errno;
    if (!renamed)
        unlink(temp_path);
    temp_exists = 0;
    handlers.restore();
    handlers.unblock();
    errno = written ? error : EIO;
    return renamed;
}

// The folder part of path for a message: "." when it has none.
std::string folder_of(const char* path) {
    std::size_t length = name_start(path);
    if (length == 0)
        return ".";
    return std::string(path, length > 1 ? length - 1 : length);
}

std::string because(const std::string& what, int error) { return what + ": " + strerror(error); }

}  // namespace

bool names_one_of(const char* path, const std::vector<FileId>& files) {
    struct stat st;
    if (stat(path, &st) != 0)
        return false;
    FileId id{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    for (const FileId& file : files)
        if (file == id)
            return true;
    return false;
}

std::vector<FileId> files_read(const CompileResult& result) {
    std::vector<FileId> ids;
    for (const SourceRecord& file : result.files)
        if (file.opened)
            ids.push_back(file.id);
    return ids;
}

OutputWrite write_output_file(const char* path, const void* data, std::size_t size,
                              const std::vector<FileId>& inputs) {
    if (names_one_of(path, inputs))
        return OutputWrite::IsInput;
    return write_output_file(path, data, size);
}

std::string replace_file(const char* path, const void* data, std::size_t size) {
    FileSizeSignalIgnored file_size_signal_ignored;
    char target[PATH_MAX];
    if (!follow_links(path, target))
        return "it is not a file that has a name in a folder (a link that cannot be followed, or one of /proc's)";
    struct stat target_st;
    if (stat(target, &target_st) != 0)
        return because("cannot look at it", errno);
    if (!S_ISREG(target_st.st_mode))
        return "it is not a regular file";
    // A file we may not write stays as it is, although its folder would let us replace it.
    int check_fd = open(target, O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (check_fd < 0)
        return because("cannot open it for writing", errno);
    close(check_fd);

    CleanupHandlers handlers;
    handlers.block();
    handlers.install();
    int temp_fd = create_temp_file(target, S_IRUSR | S_IWUSR);
    int create_error = errno;
    if (temp_fd >= 0)
        temp_exists = 1;
    else
        handlers.restore();
    handlers.unblock();
    if (temp_fd < 0)
        return because("cannot make a new file beside it in " + folder_of(target), create_error);

    take_over_owner_and_mode(temp_fd, target_st);
    bool written = write_all(temp_fd, static_cast<const unsigned char*>(data), size);
    int error = errno;
    // On the disk before it takes the old text's name: a crash then leaves one or the other.
    if (written && fsync(temp_fd) != 0) {
        written = false;
        error = errno;
    }
    if (close(temp_fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && write_hook)
        write_hook(temp_path);
    if (!written) {
        finish_temp_file(handlers, target, false);
        return because("cannot write the new text beside it in " + folder_of(target), error);
    }
    if (!finish_temp_file(handlers, target, true))
        return because("cannot rename the new text over it", errno);
    return {};
}

void set_output_write_hook(OutputWriteHook hook) { write_hook = hook; }

OutputWrite write_output_file(const char* path, const void* data, std::size_t size) {
    FileSizeSignalIgnored file_size_signal_ignored;

    char target[PATH_MAX];
    if (!follow_links(path, target))
        return open_and_write_in_place(path, path, data, size);
    struct stat target_st;
    bool exists = lstat(target, &target_st) == 0;
    // Devices, FIFOs, directories and the rest are opened as they are; so is anything the
    // links did not lead to by name (then the kernel sees a file where we found none).
    struct stat path_st;
    bool path_exists = stat(path, &path_st) == 0;
    bool same = exists ? path_exists && path_st.st_dev == target_st.st_dev &&
                             path_st.st_ino == target_st.st_ino
                       : !path_exists && errno == ENOENT;
    if (!same || (exists && !S_ISREG(target_st.st_mode)) || target[name_start(target)] == '\0')
        return open_and_write_in_place(path, target, data, size);

    // An existing output must be one we may open for writing, as it always had to be. The
    // descriptor is kept for writing in place, should no file be possible beside it.
    int output_fd = -1;
    if (exists) {
        output_fd = open(target, O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (output_fd < 0)
            return OutputWrite::CannotOpen;
    }

    CleanupHandlers handlers;
    handlers.block();
    handlers.install();
    int temp_fd = create_temp_file(target, exists ? S_IRUSR | S_IWUSR : 0666);
    int create_error = errno;
    if (temp_fd >= 0)
        temp_exists = 1;
    else
        handlers.restore();
    handlers.unblock();

    if (temp_fd < 0) {
        if (!exists)
            return open_and_write_in_place(path, target, data, size);
        if (calls_for_writing_in_place(create_error))
            return write_in_place(output_fd, target, data, size);
        // A full disk, no descriptors left: the old output stays as it is.
        close(output_fd);
        return OutputWrite::CannotWrite;
    }

    if (exists)
        take_over_owner_and_mode(temp_fd, target_st);
    bool written = write_all(temp_fd, static_cast<const unsigned char*>(data), size);
    if (close(temp_fd) != 0)
        written = false;
    if (written && write_hook)
        write_hook(temp_path);
    if (finish_temp_file(handlers, target, written)) {
        if (output_fd >= 0)
            close(output_fd);
        return OutputWrite::Written;
    }
    if (written && output_fd >= 0 && calls_for_writing_in_place(errno))
        return write_in_place(output_fd, target, data, size);
    if (output_fd >= 0)
        close(output_fd);
    return OutputWrite::CannotWrite;
}

}  // namespace vorn
