// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Places where writing fails part-way, for the tests of saving: a tiny file system
// (needs the superuser), device nodes made in a test's own folder (superuser), and a
// file size limit on the test process (anyone). None touches the system's devices.

#include <cstdint>

#include <QString>
#include <QTemporaryDir>

namespace vorlane::test {

bool isSuperuser();

// A 16 KiB tmpfs mounted on a temporary folder for the object's lifetime.
class TinyDisk {
public:
    TinyDisk();
    ~TinyDisk();
    TinyDisk(const TinyDisk&) = delete;
    TinyDisk& operator=(const TinyDisk&) = delete;

    bool mounted() const { return m_mounted; }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    QString path() const { return m_dir.path(); }
    // Fills the disk with a file named "filler" until at most `freeBytes` stay free.
    void fillLeaving(uint64_t freeBytes);

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

// Makes a character device node (for example 1,7: always full; 1,3: discards; 1,5:
// endless zeros) at `path`; false when the process may not.
bool makeCharacterDevice(const QString& path, unsigned major, unsigned minor);
// Makes a named pipe at `path`.
bool makePipe(const QString& path);

// Files written by this process fail beyond `bytes` ("File too large") while the object
// lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    uint64_t m_soft = 0;
    uint64_t m_hard = 0;
    void (*m_handler)(int) = nullptr;
};

} // namespace vorlane::test
