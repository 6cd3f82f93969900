#include "driver/root_lock.h"

bool root_lock_acquire(RootLock* lock, String root, bool no_wait) {
    lock->file = OS_FILE_INVALID;
    Scratch scratch;
    String path = string_format(scratch.arena, "%.*s" ROOT_LOCK_FILE_NAME, STR_ARG(root));
    // A missing root is made here, once nothing else can stop the build
    // (its parent folder was checked before).
    os_create_directories(path);
    OsFile file = os_open_file(OS_FILE_READ | OS_FILE_WRITE | OS_FILE_OPEN_ALWAYS, path);
    if (file == OS_FILE_INVALID) {
        console_print("[root_p] was not valid\n");
        console_print("%.*s: cannot be written to\n", STR_ARG(string_escape_control_bytes(scratch.arena, root)));
        return false;
    }
    if (!os_lock_file(file, false)) {
        if (no_wait) {
            console_print("[root_p] is in use by another build\n");
            os_close_file(file);
            return false;
        }
        console_print("[root_p] is in use by another build: waiting for it to end\n");
        console_flush();
        if (!os_lock_file(file, true)) {
            os_close_file(file);
            return false;
        }
    }

    // What a killed build left: the directories it had temporaries in.
    String journal = os_read_range(scratch.arena, file, Range64{0, os_file_properties(file).size});
    os_remove_stale_temporaries(root, journal);
    // Emptied only when it holds something: a build that writes nothing
    // leaves the lock file's time alone too.
    if (journal.size) os_truncate_file(file, 0);
    os_write_guard_begin(root, file);
    lock->file = file;
    return true;
}

void root_lock_release(RootLock* lock) {
    if (lock->file == OS_FILE_INVALID) return;
    os_write_guard_end();
    if (os_file_properties(lock->file).size) os_truncate_file(lock->file, 0);
    os_unlock_file(lock->file);
    os_close_file(lock->file);
    lock->file = OS_FILE_INVALID;
}
