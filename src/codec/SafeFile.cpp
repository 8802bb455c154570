// SPDX-License-Identifier: GPL-3.0-or-later
#include "codec/SafeFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>

namespace vorlane::gif {

namespace {

std::string systemReason(int error) {
    return std::strerror(error);
}

GifError failure(const char* what, const QString& path, const std::string& reason) {
    return GifError(std::string(what) + " \"" + path.toStdString() + "\": " + reason);
}

// Closes a descriptor once, whatever happens.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    // Closes now and returns close()'s errno, 0 on success: on some file systems the
    // last write error shows only here.
    int close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

// Writes every byte with write(2), retrying partial writes and interruptions; returns
// the errno of the write that failed, 0 when all went.
int writeAll(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        // Large writes are cut so that a partial write is retried from where it stopped.
        const size_t n = std::min<size_t>(bytes.size() - done, size_t(1) << 30);
        const ssize_t written = ::write(fd, bytes.data() + done, n);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (written == 0) return EIO;
        done += size_t(written);
    }
    return 0;
}

// A pipe or a device: written into as it stands, never replaced.
void writeIntoSpecial(const QString& path, const QByteArray& native, const struct stat& info,
                      std::span<const uint8_t> bytes) {
    if (!S_ISFIFO(info.st_mode) && !S_ISCHR(info.st_mode) && !S_ISBLK(info.st_mode))
        throw failure("Cannot save", path,
                      S_ISDIR(info.st_mode) ? systemReason(EISDIR)
                                            : std::string("Not a regular file, a pipe or a device"));
    // Opening a pipe for writing waits for a reader, possibly for ever; without blocking
    // it fails at once when there is none.
    Descriptor fd(::open(native.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) {
        if (errno == ENXIO && S_ISFIFO(info.st_mode))
            throw failure("Cannot write", path, "No program is reading from the pipe");
        throw failure("Cannot create", path, systemReason(errno));
    }
    // Once open, a pipe is written at the reader's pace, as any program writing to it.
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    if (const int error = writeAll(fd.get(), bytes)) throw failure("Cannot write", path, systemReason(error));
    // Devices that keep no data (pipes, terminals) cannot be synchronised; that is no
    // failure of the write.
    if (::fsync(fd.get()) != 0 && errno != EINVAL && errno != EROFS && errno != ENOTSUP)
        throw failure("Cannot write", path, systemReason(errno));
    if (const int error = fd.close()) throw failure("Cannot write", path, systemReason(error));
}

// The folder part of a native path, "." when it has none.
QByteArray folderOf(const QByteArray& native) {
    const qsizetype slash = native.lastIndexOf('/');
    if (slash < 0) return QByteArrayLiteral(".");
    if (slash == 0) return QByteArrayLiteral("/");
    return native.left(slash);
}

} // namespace

void writeFileSafely(const QString& path, std::span<const uint8_t> bytes) {
    QByteArray native = QFile::encodeName(path);
    if (native.isEmpty()) throw failure("Cannot create", path, systemReason(ENOENT));

    struct stat info {};
    bool exists = ::stat(native.constData(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        writeIntoSpecial(path, native, info, bytes);
        return;
    }
    // A link is followed: the file it names is replaced, and the link stays.
    if (exists) {
        if (char* real = ::realpath(native.constData(), nullptr)) {
            native = real;
            std::free(real);
        }
    }

    QByteArray temporary = native + ".XXXXXX";
    Descriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) throw failure("Cannot create", path, systemReason(errno));
    auto discard = [&](const char* what, int error) {
        ::unlink(temporary.constData());
        return failure(what, path, systemReason(error));
    };

    // The new file gets the old one's permissions, or those a new file would get.
    mode_t mode = 0;
    if (exists) {
        mode = info.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd.get(), mode);
    if (exists && (info.st_uid != ::geteuid() || info.st_gid != ::getegid())) {
        // Keeping the owner only works for the superuser or within one's own groups; a
        // file that changes owner is still saved.
        [[maybe_unused]] const int ignored = ::fchown(fd.get(), info.st_uid, info.st_gid);
    }

    if (const int error = writeAll(fd.get(), bytes)) throw discard("Cannot write", error);
    if (::fsync(fd.get()) != 0) throw discard("Cannot write", errno);
    if (const int error = fd.close()) throw discard("Cannot write", error);
    if (::rename(temporary.constData(), native.constData()) != 0) throw discard("Cannot save", errno);

    // The rename itself reaches the disk with the folder; a folder that cannot be
    // synchronised leaves the file saved all the same.
    Descriptor folder(::open(folderOf(native).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) ::fsync(folder.get());
}

Bytes readFileBounded(const QString& path, const ReadFileLimits& limits,
                      const std::function<void(std::span<const uint8_t>)>& checkHead) {
    const QByteArray native = QFile::encodeName(path);
    // Without blocking, opening a pipe that has no writer succeeds at once (and reads as
    // empty) instead of waiting for one.
    Descriptor fd(::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) throw failure("Cannot open", path, systemReason(errno));
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) throw failure("Cannot open", path, systemReason(errno));
    if (S_ISDIR(info.st_mode)) throw failure("Cannot open", path, systemReason(EISDIR));
    const bool regular = S_ISREG(info.st_mode);
    if (regular && uint64_t(info.st_size) > limits.maxBytes)
        throw GifError("The file \"" + path.toStdString() + "\" is larger than " +
                       std::to_string(limits.maxBytes) + " bytes");

    Bytes data;
    bool headChecked = !checkHead;
    auto grow = [&](size_t wanted) {
        try {
            data.resize(wanted);
        } catch (const std::bad_alloc&) {
            throw GifError("Not enough memory to read the file");
        }
    };
    // The head first, then the reported size of a regular file in one piece, then the
    // rest in chunks (a file that grew, a pipe, a device).
    size_t have = 0;
    size_t target = std::max<size_t>(limits.headBytes, 1);
    constexpr size_t Chunk = size_t(1) << 20;
    for (;;) {
        if (data.size() < target) grow(target);
        const ssize_t n = ::read(fd.get(), data.data() + have, target - have);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                throw failure("Cannot read", path, systemReason(errno));
            // Nothing yet from a pipe or device: wait, but not for ever.
            pollfd waiting{fd.get(), POLLIN, 0};
            const int ready = ::poll(&waiting, 1, limits.idleTimeoutMs);
            if (ready < 0 && errno != EINTR) throw failure("Cannot read", path, systemReason(errno));
            if (ready == 0)
                throw failure("Cannot read", path,
                              "No data arrived within " +
                                  std::to_string(limits.idleTimeoutMs) + " ms");
            continue;
        }
        have += size_t(n);
        const bool ended = n == 0;
        if (!headChecked && (have >= limits.headBytes || (ended && have > 0))) {
            headChecked = true;
            checkHead(std::span<const uint8_t>(data.data(), std::min(have, limits.headBytes)));
        }
        if (ended) {
            if (have == 0 && S_ISFIFO(info.st_mode))
                throw failure("Cannot read", path, "No program is writing to the pipe");
            break;
        }
        if (have == target) {
            if (have > limits.maxBytes)
                throw GifError("The file \"" + path.toStdString() + "\" is larger than " +
                               std::to_string(limits.maxBytes) + " bytes");
            size_t next = have + Chunk;
            if (regular && uint64_t(info.st_size) > have) next = size_t(info.st_size) + 1;
            target = size_t(std::min<uint64_t>(next, limits.maxBytes + 1));
        }
    }
    data.resize(have);
    return data;
}

} // namespace vorlane::gif
