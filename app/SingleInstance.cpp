#include "app/SingleInstance.h"

#include <QSharedMemory>
#include <QString>

#include "os/OS_Log.h"

// The guard is a shared memory segment named by the key, as on the original
// desktop. On Linux it is a System V segment, which outlives a process that
// dies without detaching: the kernel detaches the dead process but keeps the
// segment, so create() would fail for ever after a kill -9.
//
// Recovery: when create() finds the segment, attach() and detach() it.
// QSharedMemory::detach() removes a segment whose attach count drops to zero,
// that is one no living process holds. A running copy stays attached for its
// whole life, so its segment survives this and create() fails again: -1.
// create(), attach() and detach() each run under Qt's system semaphore for
// the key (undone by the kernel when its holder dies), so two copies starting
// together cannot both win: shmget with IPC_EXCL lets exactly one create it.

// Bytes asked for; nothing is stored in them.
static const int GUARD_BYTES = 100;
// Segments cleared before giving up. Clearing one also deletes the key's
// file, and the file made again names a new key (ftok keeps 16 bits of its
// inode), which may be that of another dead copy's segment whose file is
// gone: each is cleared in turn. A running copy's is never cleared, so
// with one running every try fails.
static const int GUARD_TRIES = 4;

int AcquireSingleInstance(const char* key) {
    // Kept attached until the process ends; its destructor removes the
    // segment on a normal exit.
    static QSharedMemory guard;
    if (guard.isAttached())
        return 0;
    guard.setKey(QString::fromUtf8(key));

    for (int tries = 0; tries < GUARD_TRIES; ++tries) {
        if (guard.create(GUARD_BYTES, QSharedMemory::ReadWrite)) {
            if (tries > 0)
                OS_Log::Info("single-instance guard of a dead copy cleared.\n");
            return 0;
        }
        if (guard.error() != QSharedMemory::AlreadyExists) {
            OS_Log::Error("cannot create the single-instance guard: %s\n",
                          guard.errorString().toUtf8().constData());
            return -1;
        }
        // Clear a segment left by a dead copy, then try again.
        if (guard.attach(QSharedMemory::ReadOnly))
            guard.detach();
    }
    return -1;
}
