// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FailingDisk.h"

#include <csignal>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QFile>

namespace vorlane::test {

bool isSuperuser() {
    return ::geteuid() == 0;
}

TinyDisk::TinyDisk() {
    if (!isSuperuser() || !m_dir.isValid()) return;
    const QByteArray where = QFile::encodeName(m_dir.path());
    m_mounted = ::mount("tmpfs", where.constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                        "size=16k,mode=0700") == 0;
}

TinyDisk::~TinyDisk() {
    if (m_mounted) ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
}

void TinyDisk::fillLeaving(uint64_t freeBytes) {
    const QByteArray filler = QFile::encodeName(filePath(QStringLiteral("filler")));
    const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd < 0) return;
    const QByteArray block(512, 'x');
    for (;;) {
        struct statvfs space {};
        if (::fstatvfs(fd, &space) != 0) break;
        if (uint64_t(space.f_bavail) * space.f_frsize <= freeBytes) break;
        if (::write(fd, block.constData(), size_t(block.size())) <= 0) break;
        ::fsync(fd);
    }
    ::close(fd);
}

bool makeCharacterDevice(const QString& path, unsigned major, unsigned minor) {
    return ::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(major, minor)) == 0;
}

bool makePipe(const QString& path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

FileSizeLimit::FileSizeLimit(uint64_t bytes) {
    // Beyond the limit the kernel sends SIGXFSZ, which would end the process; ignored,
    // the write fails with EFBIG instead.
    m_handler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    m_soft = limit.rlim_cur;
    m_hard = limit.rlim_max;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    struct rlimit limit {};
    limit.rlim_cur = m_soft;
    limit.rlim_max = m_hard;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_handler);
}

} // namespace vorlane::test
