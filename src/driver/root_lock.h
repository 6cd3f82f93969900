// One build at a time per site root. A build takes the exclusive lock of
// the file ROOT_LOCK_FILE_NAME in the root before it writes anything and
// keeps it to the end; a second build of the same root waits for it (or,
// asked not to wait, stops). The lock file also lists the directories the
// build makes temporary files in: a killed build leaves that list behind,
// and the next build removes its temporaries from those directories alone,
// without walking the site.
#pragma once

#include "base/os.h"

#define ROOT_LOCK_FILE_NAME ".kavsite-lock"

struct RootLock {
    OsFile file;  // the lock file, locked; OS_FILE_INVALID when not held
};

// Makes the root when it is missing, opens and locks its lock file, removes
// the temporary files a killed build left, and confines the writes of the
// build to the root. When another build holds the lock, prints that it waits
// and waits, or with `no_wait` prints that the root is in use and returns
// false. A root that cannot be made or written prints "[root_p] was not
// valid" with the reason and returns false. The caller prints "aborted".
bool root_lock_acquire(RootLock* lock, String root, bool no_wait);
// Ends the confinement, empties the list of directories (every temporary
// file is gone by now) and releases the lock.
void root_lock_release(RootLock* lock);
