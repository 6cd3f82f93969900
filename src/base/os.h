// The operating-system seam: the only way the program reaches the system.
// Portable declarations here; os.cpp holds helpers built on them and
// os_linux.cpp the platform implementation.
#pragma once

#include "base/core.h"
#include "base/arena.h"
#include "base/string.h"

// ---- System information and time ------------------------------------------

struct SystemInfo {
    u32 processor_count;
    u64 large_page_size;  // 0 when the system has no large pages
    u64 page_size;        // system page size (the arena granule)
    u64 counter_frequency;
};

// Once, on the main thread: fills SystemInfo and creates the object pools.
u32 os_init();
const SystemInfo* os_system_info();
// Monotonic time in microseconds; never decreases.
u64 os_now_microseconds();
void os_sleep(u64 milliseconds);

// ---- Network errors --------------------------------------------------------

enum OsNetError : u32 {
    OS_NET_ERROR_OTHER = 0,
    OS_NET_ERROR_REFUSED = 1,      // nothing listens on the port
    OS_NET_ERROR_UNREACHABLE = 2,  // no route to the host or its network
};

// What a system error number left by a failed connection means.
u32 os_net_error_kind(s64 error_number);

// ---- Threads ---------------------------------------------------------------

typedef void OsThreadEntry(u64 param);
struct OsThread;

// Starts a detached thread with its own ThreadContext; threads are never
// joined.
OsThread* os_thread_start(OsThreadEntry* entry, u64 param);
// Formats the name, keeps its first 64 bytes in the thread context and gives
// the system its first 15 bytes.
void os_set_thread_name(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// The calling thread runs only when a processor would otherwise be idle:
// for work nobody waits for, which must not slow the build down.
void os_thread_set_background();

// ---- Synchronization (records from pools, never freed by callers) ----------

struct OsMutex;
struct OsRwLock;
struct OsCondition;

OsMutex* os_mutex_alloc();
void os_mutex_lock(OsMutex* mutex);
void os_mutex_unlock(OsMutex* mutex);

OsRwLock* os_rw_lock_alloc();
void os_rw_lock_shared(OsRwLock* lock);
void os_rw_unlock_shared(OsRwLock* lock);
void os_rw_lock_exclusive(OsRwLock* lock);
void os_rw_unlock_exclusive(OsRwLock* lock);

OsCondition* os_condition_alloc();
// Waits until woken or the deadline (microseconds, DEADLINE_NONE for none)
// passes; the lock is held again on return. True unless the wait timed out.
bool os_condition_wait_mutex(OsCondition* cv, OsMutex* mutex, u64 deadline);
bool os_condition_wait_rw(OsCondition* cv, OsRwLock* lock, u64 deadline, bool shared);
void os_condition_broadcast(OsCondition* cv);

// Runs `fn` once per `once` (zeroed before first use), whatever the number
// of threads that ask; those that ask while it runs wait for it to end.
struct OsOnce {
    u32 state;  // 0: not run; 1: running; 2: done
};
typedef void OsOnceFunction();
void os_once(OsOnce* once, OsOnceFunction* fn);

// ---- Process ---------------------------------------------------------------

// Ends the process at once with `status`, running no exit handler and no
// destructor: for a process whose background threads must not be waited
// for (a connection test still loading its libraries or talking). Standard
// output is the caller's to flush first.
[[noreturn]] void os_exit_now(int status);

// ---- Shared libraries ------------------------------------------------------

struct OsLibrary;
// Loads a shared library by its file name ("libcurl.so.4"); null when it
// cannot be loaded.
OsLibrary* os_library_open(const char* name);
// The address of a symbol of the library or of one it depends on; null
// when there is none.
void* os_library_symbol(OsLibrary* library, const char* name);

// ---- Memory ----------------------------------------------------------------

void* os_reserve(u64 size);
bool os_commit(void* address, u64 size);
void os_release(void* address, u64 size);
void* os_reserve_commit_large(u64 size);
void os_protect_read_only(void* address, u64 size);

// ---- Files -----------------------------------------------------------------

enum OsFileMode : u32 {
    OS_FILE_READ = 1,
    OS_FILE_WRITE = 2,
    OS_FILE_CREATE = 8,  // create or truncate; without it the file must exist
    OS_FILE_SHARE_READ = 16,
    OS_FILE_OPEN_ALWAYS = 32,  // create when missing, keep the contents otherwise
};

// Why a path could not be used.
enum OsFileError : u32 {
    OS_FILE_ERROR_NONE = 0,
    OS_FILE_ERROR_MISSING = 1,        // nothing there (also a link to nothing)
    OS_FILE_ERROR_DENIED = 2,         // permission denied
    OS_FILE_ERROR_NOT_REGULAR = 3,    // a directory, device, FIFO or socket where a file was wanted
    OS_FILE_ERROR_NAME_TOO_LONG = 4,  // the path or one of its names is too long for the system
    OS_FILE_ERROR_LINK_LOOP = 5,      // too many levels of symbolic links
    OS_FILE_ERROR_NOT_DIRECTORY = 6,  // a component of the path is not a directory
    OS_FILE_ERROR_IO = 7,             // the device failed, or the file shrank while read
    OS_FILE_ERROR_TOO_LARGE = 8,      // larger than the reader accepts
    OS_FILE_ERROR_OTHER = 9,
};

typedef s64 OsFile;
#define OS_FILE_INVALID ((OsFile)-1)

struct Range64 {
    u64 start;
    u64 end;
};

struct OsFileProperties {
    u64 size;
    u64 last_write_time;  // seconds * 1e9 + nanoseconds
    u64 device;           // identity of the file (after following links)
    u64 inode;
    u32 is_directory;
    u32 is_regular;
    u32 exists;
    u32 error;  // OsFileError: why the path could not be looked at when exists is 0
};

// Opens a regular file; anything else (directory, FIFO, device) gives
// OS_FILE_INVALID. `error` (may be null) receives an OsFileError, `props`
// (may be null) the open file's properties.
OsFile os_open_file(u32 mode, String path, u32* error = 0, OsFileProperties* props = 0);
void os_close_file(OsFile file);
OsFileProperties os_file_properties(OsFile file);
// Properties of a path, following symbolic links; exists is 0 when missing.
OsFileProperties os_path_properties(String path);
String os_read_range(Arena* arena, OsFile file, Range64 range);
u64 os_write_range(OsFile file, Range64 range, String data);
bool os_truncate_file(OsFile file, u64 size);
// An unnamed file in the folder `dir` for reading and writing: it has no name
// in the folder and is gone once closed or when the process ends, so a kill
// leaves nothing behind. OS_FILE_INVALID where the file system has no such
// files.
OsFile os_open_unnamed_file(String dir);
// Writes `data` at `offset` of the file; the bytes written (fewer when the
// disk is full or a write fails).
u64 os_write_at(OsFile file, u64 offset, String data);
String os_read_whole_file(Arena* arena, String path);
bool os_path_is_valid(String path);
// True for a directory the process may create and remove entries in.
bool os_directory_is_writable(String path);
// The absolute path with every symbolic link, "." and ".." resolved, without
// a trailing "/" (but "/" itself); empty when some component is missing.
String os_real_path(Arena* arena, String path);
bool os_delete_file(String path);
// Creates every directory along the path except the last component, which is
// taken to be a file name.
bool os_create_directories(String path);
String os_current_directory(Arena* arena);
// Replaces the file at `path` atomically: writes a temporary file in the same
// directory (named OS_TEMP_PREFIX "<pid>-<n>-<file name>"), then renames it
// over the old one, so the file is whole or not there at all, also when the
// process is killed. Creates missing directories. On failure the old file is
// left intact and no temporary file remains. A file that already holds
// exactly `data` is not written again, unless `flags` has OS_WRITE_NEW: the
// caller knows no such file is there, and the check (an open and a read) is
// left out.
enum OsWriteFlags : u32 {
    OS_WRITE_NEW = 1,
};
bool os_write_file_atomic(String path, String data, u32 flags = 0);

// ---- Many files at once --------------------------------------------------------

// One replacement of a batch: as os_write_file_atomic(path, data, flags),
// whose result goes to `ok`.
struct OsFileWrite {
    String path;
    String data;
    u32 flags;  // OsWriteFlags
    bool ok;
};

// Replaces the files of `writes` as os_write_file_atomic would, one after
// the other in order, with the same outcomes and the same guarantees; many
// system calls are saved by handing the work to the kernel in batches. Plain
// calls are used when that is not available or the environment variable
// KAVSITE_NO_IO_URING is set (to anything but "0") at the first batch.
void os_write_files_atomic(OsFileWrite* writes, u64 count);
// out[i] = os_path_properties(paths[i]), batched the same way.
void os_path_properties_many(const String* paths, OsFileProperties* out, u64 count);
// Operations the kernel carried out for batches since start (0 while plain
// calls are used).
u64 os_ring_operations();

// A file written piece by piece, so that its whole text is never in memory,
// and put in place as os_write_file_atomic does: whole or not at all, and a
// file that already holds exactly the bytes written is left as it is.
struct OsFileStream {
    Arena* arena;     // holds the names and the buffer
    String path;      // NUL-terminated
    String temp;      // the temporary file beside it, NUL-terminated, once made
    u64 temp_capacity;  // bytes reserved for `temp` at the start
    OsFile file;      // the temporary; OS_FILE_INVALID until the bytes first differ from the old file's
    OsFile old;       // the file at `path`, while its bytes are compared; else OS_FILE_INVALID
    u64 old_size;     // bytes
    u64 size;         // bytes taken so far, buffered ones aside
    u8* buffer;       // pieces are gathered here before each comparison or write
    u64 buffered;     // bytes in `buffer`
    u32 failed;       // a step failed (or the stream ended): nothing more is done
};
// Starts the stream; its memory is in `arena`. False when no file can be
// made at `path`: writes then do nothing and the end gives false. No
// temporary file is made while the bytes match the file already there.
bool os_stream_begin(Arena* arena, OsFileStream* stream, String path);
void os_stream_write(OsFileStream* stream, String data);
// Puts the file in place. False when some step failed; the old file is then
// intact and no temporary file remains.
bool os_stream_end(OsFileStream* stream);

// ---- Writes under a root ----------------------------------------------------

#define OS_TEMP_PREFIX ".kavsite-tmp-"

// From this call on, os_write_file_atomic writes only into directories whose
// real path lies below the real path of `root` (a directory), and before it
// makes the first temporary file in a directory it appends that directory's
// path, NUL-terminated, to `journal` (an open file, kept open by the caller),
// so that temporaries of a killed process can be found without a walk.
// False when the root cannot be resolved.
bool os_write_guard_begin(String root, OsFile journal);
// Writes are neither confined nor recorded any more.
void os_write_guard_end();
// Removes the temporary files that os_write_file_atomic names from every
// directory listed in `journal_text` (NUL-terminated paths) that lies below
// `root`; nothing else is touched. Returns the number removed.
u64 os_remove_stale_temporaries(String root, String journal_text);

// ---- Locks -----------------------------------------------------------------

// The exclusive lock of an open file, released when the file is closed or
// the process ends. Without `wait`, false at once when another process holds it.
bool os_lock_file(OsFile file, bool wait);
void os_unlock_file(OsFile file);

// ---- Directories -----------------------------------------------------------

enum OsDirEntryFlags : u32 {
    OS_DIR_ENTRY_DIRECTORY = 1,  // a directory, also through a symbolic link
    OS_DIR_ENTRY_SYMLINK = 2,    // the entry itself is a symbolic link
};

// Size, time and identity are looked up for directories, links and entries
// of unknown kind only; a regular file the listing names as one has them 0.
struct OsDirEntry {
    String name;  // UTF-8
    u32 flags;    // OsDirEntryFlags
    u64 size;
    u64 last_write_time;
    u64 device;  // identity of the entry (after following links)
    u64 inode;
};

// Entries of one directory, read at begin and returned sorted by name:
// bytes compared with A-Z folded to a-z, ties broken by the raw bytes.
struct OsDirIter {
    OsDirEntry* entries;
    u64 count;
    u64 next_index;
    u32 started;
    u32 error;  // OsFileError: why the directory could not be listed
};

// The names of a directory's entries with their inode numbers, as the
// listing gives them (no entry is looked at on its own, so this costs a
// system call per few hundred entries); "." and ".." left out, unsorted.
struct OsDirName {
    String name;
    u64 inode;
};
OsDirName* os_dir_names(Arena* arena, String dir, u64* count);

// `dir_path` is trimmed and cut after its last separator (the caller's
// variable is updated to that prefix); the directory listed is that prefix.
OsDirIter os_dir_begin(Arena* arena, String* dir_path);
bool os_dir_next(Arena* arena, OsDirIter* iter, OsDirEntry* out);

// ---- Watching folders --------------------------------------------------------

// Changes under watched folders, reported as paths. A folder is watched for
// its direct entries, or as a tree: folders created or moved into a tree
// later are watched too, and the files already in them are reported as
// changed. Events come as the system gives them (a save is often several);
// coalescing them is the caller's business.
struct OsWatch;

enum OsWatchFlags : u32 {
    OS_WATCH_TREE = 1,  // every folder below, also those made later
};

enum OsWatchEventFlags : u32 {
    OS_WATCH_CHANGED = 1,   // created, written or moved in
    OS_WATCH_REMOVED = 2,   // deleted or moved away
    OS_WATCH_FOLDER = 4,    // the path is a folder; removed: everything below it went too
    OS_WATCH_OVERFLOW = 8,  // the system dropped events: anything may have changed (no path)
};

struct OsWatchEvent {
    OsWatchEvent* next;
    String path;  // absolute, NUL-terminated; a folder's without a trailing "/"
    u32 flags;    // OsWatchEventFlags
};

struct OsWatchEvents {
    OsWatchEvent* first;
    OsWatchEvent* last;
    u64 count;
};

enum OsWatchWait : u32 {
    OS_WATCH_WAIT_TIMEOUT = 0,    // the deadline passed without a change
    OS_WATCH_WAIT_EVENTS = 1,     // changes were appended
    OS_WATCH_WAIT_TERMINATE = 2,  // a held termination request arrived (see below)
};

// Null when the system refuses (no watch left).
OsWatch* os_watch_create();
// Watches `folder` (absolute; with or without a trailing "/"). False when it
// is not a folder or cannot be watched. Adding a watched folder again is
// harmless.
bool os_watch_add(OsWatch* watch, String folder, u32 flags);
// Nothing at or below `folder` is watched through a tree. Takes effect for
// folders added afterwards.
void os_watch_exclude(OsWatch* watch, String folder);
// True when `folder` is watched now (a watched folder that was deleted or
// moved away is not).
bool os_watch_has(OsWatch* watch, String folder);
// Waits until changes come (appended to `out`, paths in `arena`), the
// deadline (microseconds, DEADLINE_NONE for none) passes, or a held
// termination request arrives; a termination request wins over changes.
OsWatchWait os_watch_wait(Arena* arena, OsWatch* watch, u64 deadline, OsWatchEvents* out);

// ---- Termination requests -------------------------------------------------------

// From now on Ctrl-C and a polite kill (SIGINT, SIGTERM) do not end the
// process at once: they are held until os_watch_wait reports them, so the
// program can finish what it is writing and leave cleanly. Call on the main
// thread before any other thread starts: threads inherit the holding.
void os_termination_hold();

// ---- Sockets -------------------------------------------------------------------

typedef s64 OsSocket;
#define OS_SOCKET_INVALID ((OsSocket)-1)

enum OsListenResult : u32 {
    OS_LISTEN_OK = 0,
    OS_LISTEN_IN_USE = 1,  // another socket has the port
    OS_LISTEN_FAILED = 2,  // anything else
};

// A TCP socket listening on 127.0.0.1 at `port`, never on another interface.
// From the first call on, writing to a peer that went away fails instead of
// ending the process.
OsSocket os_listen_loopback(u16 port, OsListenResult* result);
void os_close_socket(OsSocket socket);
// True when a TCP connection to `host` (a name or an address) at `port` is
// accepted within `timeout_ms`, name resolution included. The connection is
// closed at once; nothing is sent.
bool os_tcp_connects(String host, u16 port, u64 timeout_ms);

