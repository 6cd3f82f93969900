// The operating-system layer on Linux (POSIX).
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <linux/io_uring.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <shared_mutex>

#include "base/os.h"
#include "base/atomics.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OS_LEAK_CHECKER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define OS_LEAK_CHECKER 1
#endif
#if OS_LEAK_CHECKER
#include <sanitizer/lsan_interface.h>
#endif

// ---- Object pools ----------------------------------------------------------

struct OsThread {
    OsThread* next;
    pthread_t handle;
    u64 id;
    u64 param;
    OsThreadEntry* entry;
};

struct OsMutex {
    OsMutex* next;
    std::mutex mutex;
};

struct OsRwLock {
    OsRwLock* next;
    std::shared_mutex lock;
};

struct OsCondition {
    OsCondition* next;
    std::condition_variable_any cv;
};

// A pool hands out small records from its own arena and takes released ones
// back on a free list.
template <typename T>
struct OsPool {
    std::mutex lock;
    Arena* arena;
    T* free_list;
};

static SystemInfo g_system_info = {1, 0, 4096, 1000000};
static bool g_os_initialized;
static OsPool<OsThread> g_thread_pool;
static OsPool<OsMutex> g_mutex_pool;
static OsPool<OsRwLock> g_rw_lock_pool;
static OsPool<OsCondition> g_condition_pool;
static std::once_flag g_pool_once;

static void os_pools_create() {
    std::call_once(g_pool_once, [] {
        g_thread_pool.arena = arena_create(KB(256), KB(4));
        g_mutex_pool.arena = arena_create(KB(256), KB(4));
        g_rw_lock_pool.arena = arena_create(KB(256), KB(4));
        g_condition_pool.arena = arena_create(KB(256), KB(4));
    });
}

// Takes a cleared record from the pool and constructs it in place.
template <typename T>
static T* os_pool_take(OsPool<T>* pool) {
    os_pools_create();
    T* record = 0;
    {
        std::lock_guard<std::mutex> guard(pool->lock);
        record = pool->free_list;
        if (record) {
            pool->free_list = record->next;
        } else {
            record = (T*)arena_push(pool->arena, sizeof(T), alignof(T));
        }
    }
    if (!record) {
        fprintf(stderr, "out of memory for system objects\n");
        abort();
    }
    memset((void*)record, 0, sizeof(T));
#if OS_LEAK_CHECKER
    // Some records (condition variables) keep heap memory whose only pointer
    // lives in pool memory, which the leak checker does not scan.
    __lsan::ScopedDisabler not_a_leak;
#endif
    return new (record) T();
}

template <typename T>
static void os_pool_give_back(OsPool<T>* pool, T* record) {
    record->~T();
    std::lock_guard<std::mutex> guard(pool->lock);
    record->next = pool->free_list;
    pool->free_list = record;
}

// ---- System information and time ------------------------------------------

u32 os_init() {
    if (g_os_initialized) return 0;
    long processors = sysconf(_SC_NPROCESSORS_ONLN);
    g_system_info.processor_count = processors > 0 ? (u32)processors : 1;
    g_system_info.large_page_size = 0;
    long page = sysconf(_SC_PAGESIZE);
    g_system_info.page_size = page > 0 ? (u64)page : 4096;
    g_system_info.counter_frequency = 1000000;
    os_pools_create();
    g_os_initialized = true;
    return 0;
}

const SystemInfo* os_system_info() { return &g_system_info; }

u64 os_now_microseconds() {
    struct timespec ts;
    if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return 0;
    return (u64)ts.tv_sec * 1000000ull + (u64)ts.tv_nsec / 1000ull;
}

void os_sleep(u64 milliseconds) {
    struct timespec ts;
    ts.tv_sec = (time_t)(milliseconds / 1000);
    ts.tv_nsec = (long)((milliseconds % 1000) * 1000000);
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// ---- Network errors --------------------------------------------------------

u32 os_net_error_kind(s64 error_number) {
    switch (error_number) {
        case ECONNREFUSED: return OS_NET_ERROR_REFUSED;
        case EHOSTUNREACH:
        case ENETUNREACH:
        case EHOSTDOWN:
        case ENETDOWN: return OS_NET_ERROR_UNREACHABLE;
        default: return OS_NET_ERROR_OTHER;
    }
}

// ---- Threads ---------------------------------------------------------------

static void* os_thread_main(void* raw) {
    OsThread* thread = (OsThread*)raw;
    ThreadContext ctx = thread_context_create();
    thread_context_set(&ctx);
    thread->entry(thread->param);
    thread_context_release(&ctx);
    thread_context_set(0);
    return 0;
}

OsThread* os_thread_start(OsThreadEntry* entry, u64 param) {
    OsThread* thread = os_pool_take(&g_thread_pool);
    thread->entry = entry;
    thread->param = param;
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    int rc = pthread_create(&thread->handle, &attr, os_thread_main, thread);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        os_pool_give_back(&g_thread_pool, thread);
        return 0;
    }
    thread->id = (u64)thread->handle;
    return thread;
}

void os_thread_set_background() {
    struct sched_param param = {};
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
}

void os_set_thread_name(const char* fmt, ...) {
    ThreadContext* ctx = thread_context_get();
    Scratch scratch;
    va_list args;
    va_start(args, fmt);
    String name = string_formatv(scratch.arena, fmt, args);
    va_end(args);
    u64 keep = MIN(name.size, (u64)sizeof(ctx->name));
    memcpy(ctx->name, name.str, keep);
    ctx->name_length = keep;
    char short_name[16];
    u64 short_length = MIN(name.size, (u64)15);
    memcpy(short_name, name.str, short_length);
    short_name[short_length] = 0;
    pthread_setname_np(pthread_self(), short_name);
}

// ---- Synchronization -------------------------------------------------------

OsMutex* os_mutex_alloc() { return os_pool_take(&g_mutex_pool); }
void os_mutex_lock(OsMutex* mutex) { mutex->mutex.lock(); }
void os_mutex_unlock(OsMutex* mutex) { mutex->mutex.unlock(); }

OsRwLock* os_rw_lock_alloc() { return os_pool_take(&g_rw_lock_pool); }
void os_rw_lock_shared(OsRwLock* lock) { lock->lock.lock_shared(); }
void os_rw_unlock_shared(OsRwLock* lock) { lock->lock.unlock_shared(); }
void os_rw_lock_exclusive(OsRwLock* lock) { lock->lock.lock(); }
void os_rw_unlock_exclusive(OsRwLock* lock) { lock->lock.unlock(); }

OsCondition* os_condition_alloc() { return os_pool_take(&g_condition_pool); }

// The monotonic clock behind os_now_microseconds is steady_clock's on Linux.
static std::chrono::steady_clock::time_point os_deadline_point(u64 deadline) {
    return std::chrono::steady_clock::time_point(std::chrono::microseconds((s64)MIN(deadline, (u64)INT64_MAX / 2)));
}

template <typename Lock>
static bool os_condition_wait(OsCondition* cv, Lock& lock, u64 deadline) {
    if (deadline == DEADLINE_NONE) {
        cv->cv.wait(lock);
        return true;
    }
    return cv->cv.wait_until(lock, os_deadline_point(deadline)) == std::cv_status::no_timeout;
}

bool os_condition_wait_mutex(OsCondition* cv, OsMutex* mutex, u64 deadline) {
    std::unique_lock<std::mutex> lock(mutex->mutex, std::adopt_lock);
    bool woken = os_condition_wait(cv, lock, deadline);
    lock.release();
    return woken;
}

bool os_condition_wait_rw(OsCondition* cv, OsRwLock* rw, u64 deadline, bool shared) {
    bool woken;
    if (shared) {
        std::shared_lock<std::shared_mutex> lock(rw->lock, std::adopt_lock);
        woken = os_condition_wait(cv, lock, deadline);
        lock.release();
    } else {
        std::unique_lock<std::shared_mutex> lock(rw->lock, std::adopt_lock);
        woken = os_condition_wait(cv, lock, deadline);
        lock.release();
    }
    return woken;
}

void os_condition_broadcast(OsCondition* cv) { cv->cv.notify_all(); }

// ---- Memory ----------------------------------------------------------------

void* os_reserve(u64 size) {
    void* result = mmap(0, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return result == MAP_FAILED ? 0 : result;
}

bool os_commit(void* address, u64 size) {
    u64 page = g_system_info.page_size ? g_system_info.page_size : 4096;
    if (mprotect(address, ALIGN_POW2(size, page), PROT_READ | PROT_WRITE) != 0) return false;
#ifdef MADV_POPULATE_WRITE
    // Memory is committed to be written: one call maps every page of the
    // range, where touching them one by one costs a fault each (several
    // times the cost per page). Arenas commit in steps that grow with their
    // use, so little is mapped that is not written. Kernels without the
    // advice fault the pages in as before.
    madvise(address, ALIGN_POW2(size, page), MADV_POPULATE_WRITE);
#endif
    return true;
}

void os_release(void* address, u64 size) {
    if (address) munmap(address, size);
}

void* os_reserve_commit_large(u64 size) {
    void* result = mmap(0, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return result == MAP_FAILED ? 0 : result;
}

void os_protect_read_only(void* address, u64 size) {
    u64 page = g_system_info.page_size ? g_system_info.page_size : 4096;
    mprotect(address, ALIGN_POW2(size, page), PROT_READ);
}

// ---- Files -----------------------------------------------------------------

// A NUL-terminated copy of a path for the system calls.
static const char* os_cpath(Arena* arena, String path) { return (const char*)string_copy(arena, path).str; }

static u64 os_stat_time(const struct stat& st) {
    return (u64)st.st_mtim.tv_sec * 1000000000ull + (u64)st.st_mtim.tv_nsec;
}

static u32 os_file_error_from_errno(int error_number) {
    switch (error_number) {
        case 0: return OS_FILE_ERROR_NONE;
        case ENOENT: return OS_FILE_ERROR_MISSING;
        case EACCES:
        case EPERM:
        case EROFS: return OS_FILE_ERROR_DENIED;
        case ENAMETOOLONG: return OS_FILE_ERROR_NAME_TOO_LONG;
        case ELOOP: return OS_FILE_ERROR_LINK_LOOP;
        case ENOTDIR: return OS_FILE_ERROR_NOT_DIRECTORY;
        case EISDIR:
        case ENXIO:
        case ENODEV: return OS_FILE_ERROR_NOT_REGULAR;
        case EIO: return OS_FILE_ERROR_IO;
        case EFBIG:
        case EOVERFLOW: return OS_FILE_ERROR_TOO_LARGE;
        default: return OS_FILE_ERROR_OTHER;
    }
}

static OsFileProperties os_properties_from_stat(const struct stat& st) {
    OsFileProperties props = {};
    props.exists = 1;
    props.is_regular = S_ISREG(st.st_mode) ? 1 : 0;
    props.device = (u64)st.st_dev;
    props.inode = (u64)st.st_ino;
    props.is_directory = S_ISDIR(st.st_mode) ? 1 : 0;
    props.size = (u64)st.st_size;
    props.last_write_time = os_stat_time(st);
    return props;
}

OsFile os_open_file(u32 mode, String path, u32* error, OsFileProperties* props) {
    Scratch scratch;
    u32 ignored = 0;
    if (!error) error = &ignored;
    *error = OS_FILE_ERROR_NONE;
    int flags = O_CLOEXEC;
    if ((mode & OS_FILE_READ) && (mode & OS_FILE_WRITE)) {
        flags |= O_RDWR;
    } else if (mode & OS_FILE_WRITE) {
        flags |= O_WRONLY;
    } else {
        flags |= O_RDONLY;
    }
    if (mode & OS_FILE_CREATE) flags |= O_CREAT | O_TRUNC;
    if (mode & OS_FILE_OPEN_ALWAYS) flags |= O_CREAT;
    // Opening a FIFO for reading would wait for a writer: never block here.
    if (!(mode & OS_FILE_WRITE)) flags |= O_NONBLOCK;
    int fd = open(os_cpath(scratch.arena, path), flags, 0644);
    if (fd < 0) {
        *error = os_file_error_from_errno(errno);
        return OS_FILE_INVALID;
    }
    // Only regular files are files to this program: directories, FIFOs,
    // devices and sockets are refused.
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = OS_FILE_ERROR_NOT_REGULAR;
        close(fd);
        return OS_FILE_INVALID;
    }
    // O_NONBLOCK changes nothing for a regular file: it can stay.
    if (props) *props = os_properties_from_stat(st);
    return (OsFile)fd;
}

void os_close_file(OsFile file) {
    if (file != OS_FILE_INVALID) close((int)file);
}

OsFileProperties os_file_properties(OsFile file) {
    OsFileProperties props = {};
    struct stat st;
    if (file != OS_FILE_INVALID && fstat((int)file, &st) == 0) props = os_properties_from_stat(st);
    return props;
}

OsFileProperties os_path_properties(String path) {
    Scratch scratch;
    OsFileProperties props = {};
    struct stat st;
    if (stat(os_cpath(scratch.arena, path), &st) == 0) {
        props = os_properties_from_stat(st);
    } else {
        props.error = path.size ? os_file_error_from_errno(errno) : OS_FILE_ERROR_MISSING;
    }
    return props;
}

String os_read_range(Arena* arena, OsFile file, Range64 range) {
    if (file == OS_FILE_INVALID || range.end <= range.start) return String{};
    u64 size = range.end - range.start;
    u8* bytes = (u8*)arena_push(arena, size + 1, 8);
    if (!bytes) return String{};
    u64 done = 0;
    while (done < size) {
        u64 chunk = MIN(size - done, (u64)0x7FFFF000);
        ssize_t n = pread((int)file, bytes + done, chunk, (off_t)(range.start + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += (u64)n;
    }
    bytes[done] = 0;
    // Give back what a short read left unused.
    arena_pop(arena, size - done);
    return String{bytes, done};
}

u64 os_write_range(OsFile file, Range64 range, String data) {
    if (range.end <= range.start || range.start >= data.size) return 0;
    return os_write_at(file, range.start, string_substr(data, range.start, MIN(range.end, data.size)));
}

u64 os_write_at(OsFile file, u64 offset, String data) {
    if (file == OS_FILE_INVALID) return 0;
    u64 done = 0;
    while (done < data.size) {
        u64 chunk = MIN(data.size - done, (u64)0x7FFFF000);
        ssize_t n = pwrite((int)file, data.str + done, chunk, (off_t)(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += (u64)n;
    }
    return done;
}

bool os_truncate_file(OsFile file, u64 size) {
    if (file == OS_FILE_INVALID) return false;
    return ftruncate((int)file, (off_t)size) == 0;
}

OsFile os_open_unnamed_file(String dir) {
    Scratch scratch;
    int fd = open(dir.size ? os_cpath(scratch.arena, dir) : ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    return fd < 0 ? OS_FILE_INVALID : (OsFile)fd;
}

bool os_directory_is_writable(String path) {
    Scratch scratch;
    const char* cpath = os_cpath(scratch.arena, path);
    struct stat st;
    return stat(cpath, &st) == 0 && S_ISDIR(st.st_mode) && access(cpath, W_OK | X_OK) == 0;
}

String os_real_path(Arena* arena, String path) {
    Scratch scratch(arena);
    char buffer[PATH_MAX];
    if (path.size == 0 || !realpath(os_cpath(scratch.arena, path), buffer)) return String{};
    return string_copy(arena, string_from_cstr(buffer));
}

bool os_path_is_valid(String path) {
    if (path.size == 0) return false;
    Scratch scratch;
    struct stat st;
    return stat(os_cpath(scratch.arena, path), &st) == 0;
}

bool os_delete_file(String path) {
    Scratch scratch;
    return unlink(os_cpath(scratch.arena, path)) == 0;
}

bool os_create_directories(String path) {
    Scratch scratch;
    StringList parts = path_split(scratch.arena, path);
    if (parts.node_count < 2) return true;
    // Drive and "/" paths begin with a root component that is never made;
    // a relative path starts making directories at its first component.
    u64 first_prefix = (path_kind(path) == 0) ? 1 : 2;
    StringList prefix = {};
    u64 index = 0;
    for (StringNode* node = parts.first; node && node->next; node = node->next) {
        string_list_push(scratch.arena, &prefix, node->string);
        index += 1;
        if (index < first_prefix || node->string.size == 0) continue;
        StringJoin join = {String{}, S("/"), String{}};
        String dir = string_list_join(scratch.arena, &prefix, &join);
        if (mkdir((const char*)dir.str, 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

String os_current_directory(Arena* arena) {
    char buffer[4096];
    if (!getcwd(buffer, sizeof(buffer))) return String{};
    return string_copy(arena, string_from_cstr(buffer));
}

// True when the regular file at `cpath` holds exactly `data`.
static bool os_file_holds(const char* cpath, String data) {
    int fd = open(cpath, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st;
    bool same = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (u64)st.st_size == data.size;
    u8 buffer[KB(64)];
    for (u64 done = 0; same && done < data.size;) {
        ssize_t n = pread(fd, buffer, MIN(sizeof(buffer), data.size - done), (off_t)done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || memcmp(buffer, data.str + done, (size_t)n) != 0) same = false;
        if (n > 0) done += (u64)n;
    }
    close(fd);
    return same;
}

// ---- Writes under a root ----------------------------------------------------

#define OS_GUARD_SLOT_COUNT 1024

// A directory written into while the guard is on, and whether its real path
// lies below the root.
struct OsGuardDir {
    OsGuardDir* next;
    String path;
    u32 inside;
};

struct OsWriteGuard {
    std::mutex lock;  // the build and the page writer write at once
    Arena* arena;
    u64 arena_base;
    u32 active;
    String root_real;  // no trailing "/" unless it is "/"
    OsFile journal;
    u64 journal_size;
    OsGuardDir** slots;  // OS_GUARD_SLOT_COUNT buckets
};

static OsWriteGuard g_write_guard;
static u64 g_temp_counter;

static bool os_path_below(String real, String root_real) {
    if (string_equal(root_real, S("/"))) return real.size > 0 && real.str[0] == '/';
    return string_equal(real, root_real) ||
           (real.size > root_real.size && string_starts_with(real, root_real, 0) && real.str[root_real.size] == '/');
}

// The path with "." and ".." resolved by its text and repeated "/" merged,
// so that what is checked is what is written; empty for a relative path.
static String os_guard_normalize(Arena* arena, String path) {
    if (path.size == 0 || path.str[0] != '/') return String{};
    Scratch scratch(arena);
    String* kept = push_array_no_zero<String>(scratch.arena, path.size / 2 + 1);
    u64 count = 0;
    for (u64 at = 0; at < path.size;) {
        u64 end = at;
        while (end < path.size && path.str[end] != '/') end += 1;
        String part = string_substr(path, at, end);
        if (string_equal(part, S(".."))) {
            if (count) count -= 1;
        } else if (part.size && !string_equal(part, S("."))) {
            kept[count++] = part;
        }
        at = end + 1;
    }
    StringList list = {};
    for (u64 i = 0; i < count; i += 1) string_list_push(scratch.arena, &list, kept[i]);
    StringJoin join = {S("/"), S("/"), String{}};
    return string_list_join(arena, &list, &join);
}

// True when the directory `dir` (normalized, absolute) may be written into:
// always without a guard; with one, when the real path of the directory, or
// of its nearest existing ancestor when it does not exist yet, lies below the
// root. A directory let in for the first time is recorded in the journal.
static bool os_guard_admit(String dir) {
    OsWriteGuard* g = &g_write_guard;
    std::lock_guard<std::mutex> hold(g->lock);
    if (!g->active) return true;
    u64 slot = string_hash(dir) % OS_GUARD_SLOT_COUNT;
    for (OsGuardDir* d = g->slots[slot]; d; d = d->next) {
        if (string_equal(d->path, dir)) return d->inside != 0;
    }

    Scratch scratch(g->arena);
    u32 inside = 0;
    for (String probe = dir;;) {
        char buffer[PATH_MAX];
        const char* cprobe = probe.size ? os_cpath(scratch.arena, probe) : "/";
        if (realpath(cprobe, buffer)) {
            inside = os_path_below(string_from_cstr(buffer), g->root_real) ? 1 : 0;
            break;
        }
        if (errno != ENOENT || probe.size == 0) break;
        probe = string_prefix(probe, string_find_last_byte(probe, '/'));
    }

    OsGuardDir* d = push_struct<OsGuardDir>(g->arena);
    d->path = string_copy(g->arena, dir);
    d->inside = inside;
    d->next = g->slots[slot];
    g->slots[slot] = d;
    if (inside && g->journal != OS_FILE_INVALID) {
        // The NUL that string_copy adds ends the record. A record that cannot
        // be written does not stop the write: only a later clean-up loses.
        ssize_t n = pwrite((int)g->journal, d->path.str, d->path.size + 1, (off_t)g->journal_size);
        if (n > 0) g->journal_size += (u64)n;
    }
    return inside != 0;
}

bool os_write_guard_begin(String root, OsFile journal) {
    OsWriteGuard* g = &g_write_guard;
    std::lock_guard<std::mutex> hold(g->lock);
    if (!g->arena) {
        g->arena = arena_create(MB(64), KB(64));
        g->arena_base = arena_pos(g->arena);
    }
    arena_pop_to(g->arena, g->arena_base);
    g->root_real = os_real_path(g->arena, root);
    if (g->root_real.size == 0) return false;
    g->slots = push_array<OsGuardDir*>(g->arena, OS_GUARD_SLOT_COUNT);
    g->journal = journal;
    g->journal_size = os_file_properties(journal).size;
    atomic_store(&g->active, 1u);
    return true;
}

void os_write_guard_end() {
    OsWriteGuard* g = &g_write_guard;
    std::lock_guard<std::mutex> hold(g->lock);
    atomic_store(&g->active, 0u);
    g->journal = OS_FILE_INVALID;
}

// True for a name os_write_file_atomic gives its temporary files:
// OS_TEMP_PREFIX, digits, "-", digits, "-", then the file's own name.
// `pid` receives the first number.
static bool os_is_temporary_name(const char* name, u64* pid) {
    String n = string_from_cstr(name);
    String prefix = S(OS_TEMP_PREFIX);
    if (!string_starts_with(n, prefix, 0)) return false;
    u64 at = prefix.size;
    for (int field = 0; field < 2; field += 1) {
        u64 value = 0;
        u64 start = at;
        while (at < n.size && char_is_digit(n.str[at])) value = value * 10 + (n.str[at++] - '0');
        if (at == start || at >= n.size || n.str[at] != '-') return false;
        if (field == 0) *pid = value;
        at += 1;
    }
    return at < n.size;
}

u64 os_remove_stale_temporaries(String root, String journal_text) {
    Scratch scratch;
    String root_real = os_real_path(scratch.arena, root);
    if (root_real.size == 0) return 0;
    u64 own_pid = (u64)getpid();
    u64 removed = 0;
    for (u64 at = 0; at < journal_text.size;) {
        u64 end = string_find_byte(journal_text, 0, at);
        String dir = string_substr(journal_text, at, end);
        at = end + 1;
        String real = os_real_path(scratch.arena, dir);
        if (real.size == 0 || !os_path_below(real, root_real)) continue;
        DIR* listing = opendir((const char*)real.str);
        if (!listing) continue;
        int dir_fd = dirfd(listing);
        for (struct dirent* entry = readdir(listing); entry; entry = readdir(listing)) {
            u64 pid = 0;
            if (!os_is_temporary_name(entry->d_name, &pid) || pid == own_pid) continue;
            struct stat st;
            if (fstatat(dir_fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(st.st_mode)) continue;
            if (unlinkat(dir_fd, entry->d_name, 0) == 0) removed += 1;
        }
        closedir(listing);
    }
    return removed;
}

// ---- Atomic writes ------------------------------------------------------------

// Names longer than this are cut in the temporary file's name, which must
// stay within the system's 255 bytes per name.
#define OS_TEMP_NAME_KEEP 200

// The process id in temporary names, asked of the system once.
static u64 os_own_pid() {
    static u64 pid = 0;
    u64 known = atomic_load(&pid);
    if (!known) {
        known = (u64)getpid();
        atomic_store(&pid, known);
    }
    return known;
}

// What a replacement needs once the checks before any write are done.
struct OsAtomicPlan {
    String path;       // normalized when the guard is on; NUL-terminated
    String dir;        // empty for a bare name
    String kept_name;  // the file name, cut for the temporary's name
    bool has_dir;
    String temp;  // the temporary's path, NUL-terminated
};

enum OsPlanOutcome : u32 {
    OS_PLAN_WRITE = 0,   // the file is to be written
    OS_PLAN_DONE = 1,    // it already holds the bytes
    OS_PLAN_FAILED = 2,  // it may not be written (a bad path, outside the root)
};

// A fresh temporary name beside the plan's file.
static void os_plan_temp_name(Arena* arena, OsAtomicPlan* plan) {
    u64 n = atomic_add(&g_temp_counter, (u64)1);
    plan->temp = string_format(arena, "%.*s%s" OS_TEMP_PREFIX "%llu-%llu-%.*s", STR_ARG(plan->dir),
                               plan->has_dir ? "/" : "", (unsigned long long)os_own_pid(), (unsigned long long)n,
                               STR_ARG(plan->kept_name));
}

// Creates the plan's temporary file, making missing directories, and names
// it in plan->temp (a fresh name each attempt). The descriptor, or -1.
static int os_plan_open_temp(Arena* arena, OsAtomicPlan* plan) {
    int fd = -1;
    bool made_directories = false;
    for (int attempt = 0; attempt < 4 && fd < 0; attempt += 1) {
        os_plan_temp_name(arena, plan);
        fd = open((const char*)plan->temp.str, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno == ENOENT && !made_directories) {
            // Directories are made only when missing, not on every write.
            made_directories = true;
            os_create_directories(plan->path);
            fd = open((const char*)plan->temp.str, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        }
        // A name left by an earlier process with the same id: take the next.
        if (fd < 0 && errno != EEXIST) return -1;
    }
    return fd;
}

// Creates the temporary file that will replace `path` (already admitted by
// the guard's normalization), making missing directories; its name goes to
// *temp, in `arena`. The descriptor, or -1.
static int os_open_temp_beside(Arena* arena, String path, String* temp) {
    OsAtomicPlan plan = {};
    u64 slash = string_find_last_byte(path, '/');
    plan.path = string_copy(arena, path);
    plan.has_dir = slash < path.size;
    plan.dir = plan.has_dir ? string_prefix(path, slash) : String{};
    String name = plan.has_dir ? string_skip(path, slash + 1) : path;
    if (name.size == 0) return -1;
    if (plan.has_dir && !os_guard_admit(plan.dir.size ? plan.dir : S("/"))) return -1;
    plan.kept_name = string_prefix(name, OS_TEMP_NAME_KEEP);
    int fd = os_plan_open_temp(arena, &plan);
    *temp = plan.temp;
    return fd;
}

// Everything before the first write: the path under the guard, a file that
// already holds the bytes, the directory let in, the temporary's name.
static u32 os_atomic_plan(Arena* arena, String path, String data, u32 flags, OsAtomicPlan* plan) {
    *plan = OsAtomicPlan{};
    if (path.size == 0) return OS_PLAN_FAILED;
    if (atomic_load(&g_write_guard.active)) {
        path = os_guard_normalize(arena, path);
        if (path.size == 0) return OS_PLAN_FAILED;
    }
    plan->path = string_copy(arena, path);
    // A file that already holds these bytes is left as it is: a rebuild of
    // an unchanged site rewrites nothing.
    if (!(flags & OS_WRITE_NEW) && os_file_holds((const char*)plan->path.str, data)) return OS_PLAN_DONE;

    u64 slash = string_find_last_byte(path, '/');
    plan->has_dir = slash < path.size;
    plan->dir = plan->has_dir ? string_prefix(path, slash) : String{};
    String name = plan->has_dir ? string_skip(path, slash + 1) : path;
    if (name.size == 0) return OS_PLAN_FAILED;
    if (plan->has_dir && !os_guard_admit(plan->dir.size ? plan->dir : S("/"))) return OS_PLAN_FAILED;
    plan->kept_name = string_prefix(name, OS_TEMP_NAME_KEEP);
    os_plan_temp_name(arena, plan);
    return OS_PLAN_WRITE;
}

// The plain calls of a replacement: open a temporary, write, close, rename.
static bool os_atomic_write_plain(Arena* arena, OsAtomicPlan* plan, String data) {
    // The new bytes go to a temporary file beside the target and are renamed
    // over it once whole: the target is the old file or the new one, never a
    // part of either.
    int fd = os_plan_open_temp(arena, plan);
    if (fd < 0) return false;
    u64 written = os_write_range((OsFile)fd, Range64{0, data.size}, data);
    bool ok = written == data.size;
    if (close(fd) != 0) ok = false;
    if (ok && rename((const char*)plan->temp.str, (const char*)plan->path.str) != 0) ok = false;
    if (!ok) unlink((const char*)plan->temp.str);
    return ok;
}

bool os_write_file_atomic(String path, String data, u32 flags) {
    Scratch scratch;
    OsAtomicPlan plan = {};
    u32 outcome = os_atomic_plan(scratch.arena, path, data, flags, &plan);
    if (outcome != OS_PLAN_WRITE) return outcome == OS_PLAN_DONE;
    return os_atomic_write_plain(scratch.arena, &plan, data);
}

// ---- Many files at once ---------------------------------------------------------

// Batches of file operations go through the kernel's submission ring: many
// operations per system call, carried out by the kernel's own workers. When
// the ring cannot be set up (an old kernel, a sandbox that refuses it) or
// KAVSITE_NO_IO_URING is set to anything but "0" at the first use, the plain
// calls do the same work one by one.

// Pages in one round: each takes a registered file slot and three entries
// (open, write, close) in the first step, one (rename) in the second.
#define OS_RING_ROUND 256
#define OS_RING_ENTRIES 1024

enum OsRingState : u32 {
    OS_RING_UNTRIED = 0,
    OS_RING_READY = 1,
    OS_RING_OFF = 2,
};

struct OsRing {
    std::mutex lock;  // one batch at a time
    u32 state;        // OsRingState
    int fd;
    u32* sq_tail;
    u32* sq_mask;
    u32* sq_array;
    u32* cq_head;
    u32* cq_tail;
    u32* cq_mask;
    io_uring_sqe* sqes;
    io_uring_cqe* cqes;
    u32 tail;       // next submission entry (published on submit)
    u32 queued;     // entries filled and not submitted
    u64 operations;  // performed since start, for the benchmark and tests
};

static OsRing g_ring;

static int os_ring_enter(int fd, u32 submit, u32 wait, u32 flags) {
    return (int)syscall(__NR_io_uring_enter, fd, submit, wait, flags, (void*)0, (size_t)0);
}

static int os_ring_register(int fd, u32 opcode, void* arg, u32 count) {
    return (int)syscall(__NR_io_uring_register, fd, opcode, arg, count);
}

// A child made by fork shares the parent's ring memory: it uses plain calls.
static void os_ring_forked() { g_ring.state = OS_RING_OFF; }

static bool os_ring_setup(OsRing* r) {
    const char* off = getenv("KAVSITE_NO_IO_URING");
    if (off && off[0] && strcmp(off, "0") != 0) return false;
    io_uring_params params = {};
    int fd = (int)syscall(__NR_io_uring_setup, OS_RING_ENTRIES, &params);
    if (fd < 0) return false;
    u64 sq_size = params.sq_off.array + params.sq_entries * sizeof(u32);
    u64 cq_size = params.cq_off.cqes + params.cq_entries * sizeof(io_uring_cqe);
    void* rings = MAP_FAILED;
    void* sqes = MAP_FAILED;
    if (params.features & IORING_FEAT_SINGLE_MMAP) {
        rings = mmap(0, MAX(sq_size, cq_size), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, IORING_OFF_SQ_RING);
        sqes = mmap(0, params.sq_entries * sizeof(io_uring_sqe), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd,
                    IORING_OFF_SQES);
    }
    // Empty slots for the temporaries' descriptors, which never enter the
    // process's own table.
    io_uring_rsrc_register files = {};
    files.nr = OS_RING_ROUND;
    files.flags = IORING_RSRC_REGISTER_SPARSE;
    if (rings == MAP_FAILED || sqes == MAP_FAILED ||
        os_ring_register(fd, IORING_REGISTER_FILES2, &files, sizeof(files)) < 0) {
        close(fd);  // also unmaps what was mapped
        return false;
    }
    // Two kernel workers are enough to keep up with one writer; without a
    // bound the kernel starts one per waiting operation.
    u32 workers[2] = {2, 2};
    os_ring_register(fd, IORING_REGISTER_IOWQ_MAX_WORKERS, workers, 2);
    u8* base = (u8*)rings;
    r->fd = fd;
    r->sq_tail = (u32*)(base + params.sq_off.tail);
    r->sq_mask = (u32*)(base + params.sq_off.ring_mask);
    r->sq_array = (u32*)(base + params.sq_off.array);
    r->cq_head = (u32*)(base + params.cq_off.head);
    r->cq_tail = (u32*)(base + params.cq_off.tail);
    r->cq_mask = (u32*)(base + params.cq_off.ring_mask);
    r->cqes = (io_uring_cqe*)(base + params.cq_off.cqes);
    r->sqes = (io_uring_sqe*)sqes;
    r->tail = __atomic_load_n(r->sq_tail, __ATOMIC_ACQUIRE);
    pthread_atfork(0, 0, os_ring_forked);
    return true;
}

// The ring, locked, or null (unlocked) when plain calls are to be used.
static OsRing* os_ring_take() {
    OsRing* r = &g_ring;
    r->lock.lock();
    if (r->state == OS_RING_UNTRIED) r->state = os_ring_setup(r) ? OS_RING_READY : OS_RING_OFF;
    if (r->state != OS_RING_READY) {
        r->lock.unlock();
        return 0;
    }
    return r;
}

// A zeroed entry; `user_data` says where its result goes.
static io_uring_sqe* os_ring_entry(OsRing* r, u8 opcode, u64 user_data) {
    u32 index = (r->tail + r->queued) & *r->sq_mask;
    io_uring_sqe* sqe = &r->sqes[index];
    memset(sqe, 0, sizeof(*sqe));
    sqe->opcode = opcode;
    sqe->user_data = user_data;
    r->sq_array[index] = index;
    r->queued += 1;
    return sqe;
}

// Submits the queued entries and waits for all of their completions, whose
// results land in results[user_data]. Entries never submitted, or whose
// completion never came (the ring failed), keep -ECANCELED; the ring is then
// given up for plain calls.
static void os_ring_run(OsRing* r, s32* results) {
    u32 count = r->queued;
    for (u32 i = 0; i < count; i += 1) results[i] = -ECANCELED;
    r->tail += count;
    r->queued = 0;
    __atomic_store_n(r->sq_tail, r->tail, __ATOMIC_RELEASE);
    u32 unsubmitted = count;
    u32 done = 0;
    while (done < count) {
        int n = os_ring_enter(r->fd, unsubmitted, count - done, IORING_ENTER_GETEVENTS);
        if (n < 0 && errno != EINTR && errno != EAGAIN && errno != EBUSY) {
            r->state = OS_RING_OFF;
            return;
        }
        if (n > 0) unsubmitted -= MIN((u32)n, unsubmitted);
        u32 head = *r->cq_head;
        u32 tail = __atomic_load_n(r->cq_tail, __ATOMIC_ACQUIRE);
        for (; head != tail; head += 1) {
            io_uring_cqe* cqe = &r->cqes[head & *r->cq_mask];
            if (cqe->user_data < count) results[cqe->user_data] = cqe->res;
            done += 1;
        }
        __atomic_store_n(r->cq_head, head, __ATOMIC_RELEASE);
    }
    r->operations += count;
}

// Opens, writes and closes the temporaries of `pages` (indexes into the
// round) through the ring: open -> write -> close per page, linked so that
// the write waits for the open and the close follows the write even when it
// fails. `open_error` receives each open's result, `whole` whether the
// temporary holds every byte.
static void os_ring_write_temporaries(OsRing* r, OsAtomicPlan** plans, OsFileWrite* writes, const u32* pages, u32 count,
                                      s32* open_error, bool* whole) {
    Scratch scratch;
    s32* results = push_array_no_zero<s32>(scratch.arena, (u64)count * 3);
    for (u32 k = 0; k < count; k += 1) {
        u32 i = pages[k];
        io_uring_sqe* open_sqe = os_ring_entry(r, IORING_OP_OPENAT, (u64)k * 3);
        open_sqe->fd = AT_FDCWD;
        open_sqe->addr = (u64)plans[i]->temp.str;
        open_sqe->len = 0644;
        open_sqe->open_flags = O_WRONLY | O_CREAT | O_EXCL;
        open_sqe->file_index = k + 1;
        open_sqe->flags = IOSQE_IO_LINK;
        io_uring_sqe* write_sqe = os_ring_entry(r, IORING_OP_WRITE, (u64)k * 3 + 1);
        write_sqe->fd = (s32)k;
        write_sqe->addr = (u64)writes[i].data.str;
        write_sqe->len = (u32)writes[i].data.size;
        write_sqe->off = 0;
        write_sqe->flags = IOSQE_FIXED_FILE | IOSQE_IO_HARDLINK;
        io_uring_sqe* close_sqe = os_ring_entry(r, IORING_OP_CLOSE, (u64)k * 3 + 2);
        close_sqe->file_index = k + 1;
    }
    os_ring_run(r, results);
    for (u32 k = 0; k < count; k += 1) {
        open_error[k] = results[k * 3] < 0 ? results[k * 3] : 0;
        whole[k] = results[k * 3] >= 0 && results[k * 3 + 1] >= 0 &&
                   (u64)results[k * 3 + 1] == writes[pages[k]].data.size && results[k * 3 + 2] == 0;
        // A close that did not happen leaves the slot taken: empty it.
        if (results[k * 3] >= 0 && results[k * 3 + 2] != 0) {
            s32 none = -1;
            io_uring_rsrc_update2 update = {};
            update.offset = k;
            update.data = (u64)&none;
            update.nr = 1;
            os_ring_register(r->fd, IORING_REGISTER_FILES_UPDATE2, &update, sizeof(update));
        }
    }
}

// One round: up to OS_RING_ROUND writes with distinct paths.
static void os_ring_write_round(OsRing* r, OsFileWrite* writes, u64 count) {
    Scratch scratch;
    OsAtomicPlan** plans = push_array<OsAtomicPlan*>(scratch.arena, count);
    u32* pages = push_array_no_zero<u32>(scratch.arena, count);
    s32* open_error = push_array_no_zero<s32>(scratch.arena, count);
    bool* whole = push_array_no_zero<bool>(scratch.arena, count);
    bool* renamed = push_array<bool>(scratch.arena, count);
    u32 planned = 0;
    for (u64 i = 0; i < count; i += 1) {
        OsAtomicPlan* plan = push_struct<OsAtomicPlan>(scratch.arena);
        u32 outcome = os_atomic_plan(scratch.arena, writes[i].path, writes[i].data, writes[i].flags, plan);
        writes[i].ok = outcome == OS_PLAN_DONE;
        // Pages of a gigabyte or more, beyond one write of the ring, go the
        // plain way.
        if (outcome != OS_PLAN_WRITE || writes[i].data.size >= GB(1)) {
            if (outcome == OS_PLAN_WRITE) writes[i].ok = os_atomic_write_plain(scratch.arena, plan, writes[i].data);
            continue;
        }
        plans[i] = plan;
        pages[planned++] = (u32)i;
    }
    if (planned == 0) return;

    os_ring_write_temporaries(r, plans, writes, pages, planned, open_error, whole);
    // The first pages of a new folder find it missing: the folders are made
    // once, and those pages go again.
    u32 missing = 0;
    u32* again = push_array_no_zero<u32>(scratch.arena, planned);
    String made = {};
    for (u32 k = 0; k < planned; k += 1) {
        if (open_error[k] != -ENOENT) continue;
        OsAtomicPlan* plan = plans[pages[k]];
        if (!made.size || !string_equal(made, plan->dir)) {
            os_create_directories(plan->path);
            made = plan->dir;
        }
        again[missing++] = k;
    }
    if (missing && r->state == OS_RING_READY) {
        u32* retry_pages = push_array_no_zero<u32>(scratch.arena, missing);
        s32* retry_error = push_array_no_zero<s32>(scratch.arena, missing);
        bool* retry_whole = push_array_no_zero<bool>(scratch.arena, missing);
        for (u32 m = 0; m < missing; m += 1) retry_pages[m] = pages[again[m]];
        os_ring_write_temporaries(r, plans, writes, retry_pages, missing, retry_error, retry_whole);
        for (u32 m = 0; m < missing; m += 1) {
            open_error[again[m]] = retry_error[m];
            whole[again[m]] = retry_whole[m];
        }
    }

    // Whole temporaries replace their files in the order of the batch: the
    // renames are hard-linked, each waits for the one before and none is
    // cancelled by another's failure.
    s32* results = push_array_no_zero<s32>(scratch.arena, planned);
    u32* renaming = push_array_no_zero<u32>(scratch.arena, planned);
    u32 renames = 0;
    for (u32 k = 0; k < planned; k += 1) {
        if (whole[k] && r->state == OS_RING_READY) renaming[renames++] = k;
    }
    for (u32 m = 0; m < renames; m += 1) {
        OsAtomicPlan* plan = plans[pages[renaming[m]]];
        io_uring_sqe* sqe = os_ring_entry(r, IORING_OP_RENAMEAT, m);
        sqe->fd = AT_FDCWD;
        sqe->addr = (u64)plan->temp.str;
        sqe->len = (u32)AT_FDCWD;
        sqe->addr2 = (u64)plan->path.str;
        if (m + 1 < renames) sqe->flags = IOSQE_IO_HARDLINK;
    }
    if (renames) os_ring_run(r, results);
    for (u32 m = 0; m < renames; m += 1) renamed[renaming[m]] = results[m] == 0;

    // Anything that went wrong through the ring is cleaned up and done again
    // by the plain calls, whose outcome is the write's: the same errors, the
    // same files left, whichever way the bytes went first.
    for (u32 k = 0; k < planned; k += 1) {
        u32 i = pages[k];
        if (renamed[k]) {
            writes[i].ok = true;
            continue;
        }
        if (open_error[k] != -EEXIST) unlink((const char*)plans[i]->temp.str);
        writes[i].ok = os_atomic_write_plain(scratch.arena, plans[i], writes[i].data);
    }
}

void os_write_files_atomic(OsFileWrite* writes, u64 count) {
    OsRing* r = count > 1 ? os_ring_take() : 0;
    if (!r) {
        for (u64 i = 0; i < count; i += 1) writes[i].ok = os_write_file_atomic(writes[i].path, writes[i].data, writes[i].flags);
        return;
    }
    // The paths of the current round, by hash (open addressing; twice the
    // round's size keeps the probes short).
    const u64 table_size = OS_RING_ROUND * 2;
    u64 table[table_size];
    for (u64 at = 0; at < count;) {
        // A round ends before a path it already holds: the later write must
        // see the earlier one done.
        memset(table, 0xff, sizeof(table));
        u64 end = at;
        while (end < count && end - at < OS_RING_ROUND) {
            u64 slot = string_hash(writes[end].path) % table_size;
            bool repeated = false;
            for (; table[slot] != ~0ull; slot = (slot + 1) % table_size) {
                if (string_equal(writes[table[slot]].path, writes[end].path)) {
                    repeated = true;
                    break;
                }
            }
            if (repeated) break;
            table[slot] = end;
            end += 1;
        }
        if (r->state == OS_RING_READY) {
            os_ring_write_round(r, writes + at, end - at);
        } else {
            for (u64 i = at; i < end; i += 1) writes[i].ok = os_write_file_atomic(writes[i].path, writes[i].data, writes[i].flags);
        }
        at = end;
    }
    r->lock.unlock();
}

static OsFileProperties os_properties_from_statx(const struct statx& st) {
    OsFileProperties props = {};
    props.exists = 1;
    props.is_regular = S_ISREG(st.stx_mode) ? 1 : 0;
    props.is_directory = S_ISDIR(st.stx_mode) ? 1 : 0;
    props.device = (u64)makedev(st.stx_dev_major, st.stx_dev_minor);
    props.inode = (u64)st.stx_ino;
    props.size = (u64)st.stx_size;
    props.last_write_time = (u64)st.stx_mtime.tv_sec * 1000000000ull + (u64)st.stx_mtime.tv_nsec;
    return props;
}

void os_path_properties_many(const String* paths, OsFileProperties* out, u64 count) {
    OsRing* r = count > 1 ? os_ring_take() : 0;
    if (!r) {
        for (u64 i = 0; i < count; i += 1) out[i] = os_path_properties(paths[i]);
        return;
    }
    for (u64 at = 0; at < count; at += OS_RING_ROUND) {
        u64 n = MIN(count - at, (u64)OS_RING_ROUND);
        if (r->state != OS_RING_READY) {
            for (u64 i = at; i < at + n; i += 1) out[i] = os_path_properties(paths[i]);
            continue;
        }
        Scratch scratch;
        struct statx* buffers = push_array<struct statx>(scratch.arena, n);
        s32* results = push_array_no_zero<s32>(scratch.arena, n);
        for (u64 k = 0; k < n; k += 1) {
            io_uring_sqe* sqe = os_ring_entry(r, IORING_OP_STATX, k);
            sqe->fd = AT_FDCWD;
            sqe->addr = (u64)os_cpath(scratch.arena, paths[at + k]);
            sqe->len = STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE | STATX_MTIME;
            sqe->statx_flags = 0;  // follows links, as stat does
            sqe->addr2 = (u64)&buffers[k];
        }
        os_ring_run(r, results);
        for (u64 k = 0; k < n; k += 1) {
            OsFileProperties props = {};
            if (results[k] == 0) {
                props = os_properties_from_statx(buffers[k]);
            } else if (results[k] == -ECANCELED) {
                props = os_path_properties(paths[at + k]);
            } else {
                props.error = paths[at + k].size ? os_file_error_from_errno(-results[k]) : OS_FILE_ERROR_MISSING;
            }
            out[at + k] = props;
        }
    }
    r->lock.unlock();
}

u64 os_ring_operations() {
    std::lock_guard<std::mutex> hold(g_ring.lock);
    return g_ring.operations;
}

// ---- Streamed atomic writes ---------------------------------------------------

#define OS_STREAM_BUFFER_SIZE KB(64)

// Writes `bytes` at `offset` of the temporary file.
static void os_stream_put(OsFileStream* stream, u64 offset, const u8* bytes, u64 size) {
    if (!stream->failed && os_write_at(stream->file, offset, String{(u8*)bytes, size}) < size) stream->failed = 1;
}

// Makes the temporary file and copies into it the first `stream->size`
// bytes of the old file, which the bytes so far matched.
static bool os_stream_open_temp(OsFileStream* stream) {
    // The name is kept in room made at the start: the caller's arena may
    // have grown since.
    Scratch scratch;
    String temp = {};
    int fd = os_open_temp_beside(scratch.arena, stream->path, &temp);
    if (fd < 0 || temp.size >= stream->temp_capacity) {
        if (fd >= 0) {
            close(fd);
            unlink((const char*)temp.str);
        }
        stream->failed = 1;
        return false;
    }
    memcpy(stream->temp.str, temp.str, temp.size + 1);
    stream->temp.size = temp.size;
    stream->file = (OsFile)fd;
    u8 chunk[KB(16)];
    for (u64 done = 0; done < stream->size && !stream->failed;) {
        ssize_t n = pread((int)stream->old, chunk, MIN(sizeof(chunk), stream->size - done), (off_t)done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) stream->failed = 1;
        if (n > 0) os_stream_put(stream, done, chunk, (u64)n);
        if (n > 0) done += (u64)n;
    }
    return !stream->failed;
}

bool os_stream_begin(Arena* arena, OsFileStream* stream, String path) {
    *stream = OsFileStream{};
    stream->arena = arena;
    stream->file = OS_FILE_INVALID;
    stream->old = OS_FILE_INVALID;
    if (path.size && atomic_load(&g_write_guard.active)) path = os_guard_normalize(arena, path);
    if (path.size == 0) {
        stream->failed = 1;
        return false;
    }
    stream->path = string_copy(arena, path);
    // Room for the temporary's name: the folder, the prefix, two numbers and
    // at most OS_TEMP_NAME_KEEP bytes of the name.
    stream->temp_capacity = path.size + sizeof(OS_TEMP_PREFIX) + 64;
    stream->temp.str = push_array<u8>(arena, stream->temp_capacity);
    stream->buffer = push_array_no_zero<u8>(arena, OS_STREAM_BUFFER_SIZE);
    // While the file there matches the bytes so far, nothing is written: a
    // file that already holds them all is left as it is, and no temporary
    // file is made for it.
    int old = open((const char*)stream->path.str, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    if (old >= 0 && fstat(old, &st) == 0 && S_ISREG(st.st_mode)) {
        stream->old = (OsFile)old;
        stream->old_size = (u64)st.st_size;
        return true;
    }
    if (old >= 0) close(old);
    return os_stream_open_temp(stream);
}

// True when the old file holds `piece` at `offset`.
static bool os_stream_matches(OsFileStream* stream, u64 offset, String piece) {
    if (offset + piece.size > stream->old_size) return false;
    u8 theirs[KB(16)];
    for (u64 done = 0; done < piece.size;) {
        ssize_t n = pread((int)stream->old, theirs, MIN(sizeof(theirs), piece.size - done), (off_t)(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || memcmp(theirs, piece.str + done, (size_t)n) != 0) return false;
        done += (u64)n;
    }
    return true;
}

// Compares the buffered bytes with the old file or writes them to the
// temporary file, made at the first difference.
static void os_stream_flush(OsFileStream* stream) {
    if (stream->buffered == 0 || stream->failed) return;
    String piece = {stream->buffer, stream->buffered};
    stream->buffered = 0;
    if (stream->file == OS_FILE_INVALID) {
        if (os_stream_matches(stream, stream->size, piece)) {
            stream->size += piece.size;
            return;
        }
        if (!os_stream_open_temp(stream)) return;
    }
    os_stream_put(stream, stream->size, piece.str, piece.size);
    stream->size += piece.size;
}

void os_stream_write(OsFileStream* stream, String data) {
    while (data.size && !stream->failed) {
        u64 take = MIN(OS_STREAM_BUFFER_SIZE - stream->buffered, data.size);
        memcpy(stream->buffer + stream->buffered, data.str, take);
        stream->buffered += take;
        data = string_skip(data, take);
        if (stream->buffered == OS_STREAM_BUFFER_SIZE) os_stream_flush(stream);
    }
}

bool os_stream_end(OsFileStream* stream) {
    os_stream_flush(stream);
    // The old file held all the bytes and no more: it stays.
    bool same = !stream->failed && stream->file == OS_FILE_INVALID && stream->old_size == stream->size;
    if (!stream->failed && !same && stream->file == OS_FILE_INVALID) os_stream_open_temp(stream);
    if (stream->old != OS_FILE_INVALID) close((int)stream->old);
    stream->old = OS_FILE_INVALID;
    if (same) return true;
    bool ok = !stream->failed;
    if (stream->file != OS_FILE_INVALID) {
        if (close((int)stream->file) != 0) ok = false;
        if (ok && rename((const char*)stream->temp.str, (const char*)stream->path.str) != 0) ok = false;
        if (!ok) unlink((const char*)stream->temp.str);
    }
    stream->file = OS_FILE_INVALID;
    stream->failed = 1;  // ended: later calls do nothing
    return ok;
}

// ---- Locks -----------------------------------------------------------------

bool os_lock_file(OsFile file, bool wait) {
    if (file == OS_FILE_INVALID) return false;
    for (;;) {
        if (flock((int)file, LOCK_EX | (wait ? 0 : LOCK_NB)) == 0) return true;
        if (errno != EINTR) return false;
    }
}

void os_unlock_file(OsFile file) {
    if (file != OS_FILE_INVALID) flock((int)file, LOCK_UN);
}

// ---- Directories -----------------------------------------------------------

static bool os_dir_entry_less(const OsDirEntry& a, const OsDirEntry& b) {
    u64 n = MIN(a.name.size, b.name.size);
    for (u64 i = 0; i < n; i += 1) {
        u8 x = char_to_lower(a.name.str[i]), y = char_to_lower(b.name.str[i]);
        if (x != y) return x < y;
    }
    if (a.name.size != b.name.size) return a.name.size < b.name.size;
    return memcmp(a.name.str, b.name.str, n) < 0;
}

OsDirName* os_dir_names(Arena* arena, String dir, u64* count) {
    *count = 0;
    Scratch scratch(arena);
    DIR* d = opendir(os_cpath(scratch.arena, dir));
    if (!d) return 0;
    u64 capacity = 64;
    OsDirName* names = push_array_no_zero<OsDirName>(arena, capacity);
    for (struct dirent* e = readdir(d); e; e = readdir(d)) {
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
        if (*count == capacity) {
            OsDirName* grown = push_array_no_zero<OsDirName>(arena, capacity * 2);
            memcpy(grown, names, sizeof(OsDirName) * capacity);
            names = grown;
            capacity *= 2;
        }
        names[*count] = OsDirName{string_copy(arena, string_from_cstr(e->d_name)), (u64)e->d_ino};
        *count += 1;
    }
    closedir(d);
    return names;
}

OsDirIter os_dir_begin(Arena* arena, String* dir_path) {
    OsDirIter iter = {};
    String path = string_trim_whitespace(*dir_path);
    u64 cut = path.size;
    while (cut > 0 && !char_is_slash(path.str[cut - 1])) cut -= 1;
    path = string_prefix(path, cut);
    *dir_path = path;

    Scratch scratch(arena);
    const char* cpath = path.size ? os_cpath(scratch.arena, path) : ".";
    DIR* dir = opendir(cpath);
    if (!dir) {
        iter.error = os_file_error_from_errno(errno);
        return iter;
    }
    int dir_fd = dirfd(dir);

    // Entries are gathered and sorted in the caller's arena, nothing in the
    // thread's scratch: a caller that lists a large folder into an arena of
    // its own gives all of the listing back with it.
    u64 capacity = 64;
    OsDirEntry* entries = push_array_no_zero<OsDirEntry>(arena, capacity);
    u64 count = 0;
    for (;;) {
        struct dirent* d = readdir(dir);
        if (!d) break;
        if (strcmp(d->d_name, ".") == 0 || strcmp(d->d_name, "..") == 0) continue;
        if (count == capacity) {
            OsDirEntry* grown = push_array_no_zero<OsDirEntry>(arena, capacity * 2);
            memcpy(grown, entries, sizeof(OsDirEntry) * count);
            entries = grown;
            capacity *= 2;
        }
        OsDirEntry* e = &entries[count++];
        memset(e, 0, sizeof(*e));
        e->name = string_copy(arena, string_from_cstr(d->d_name));
        struct stat st;
        // A regular file the listing names as one needs no look of its own:
        // a walk of many documents makes one call per entry less.
        if (d->d_type == DT_REG) continue;
        bool link = d->d_type == DT_LNK;
        if (d->d_type == DT_UNKNOWN) link = fstatat(dir_fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
        if (link) e->flags |= OS_DIR_ENTRY_SYMLINK;
        if (fstatat(dir_fd, d->d_name, &st, 0) == 0 || fstatat(dir_fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISDIR(st.st_mode)) e->flags |= OS_DIR_ENTRY_DIRECTORY;
            e->size = (u64)st.st_size;
            e->last_write_time = os_stat_time(st);
            e->device = (u64)st.st_dev;
            e->inode = (u64)st.st_ino;
        }
    }
    closedir(dir);
    std::sort(entries, entries + count, os_dir_entry_less);
    iter.entries = entries;
    iter.count = count;
    return iter;
}

bool os_dir_next(Arena* arena, OsDirIter* iter, OsDirEntry* out) {
    (void)arena;
    iter->started = 1;
    if (iter->next_index >= iter->count) return false;
    *out = iter->entries[iter->next_index++];
    return true;
}

// ---- Once, process, shared libraries ----------------------------------------

static std::mutex g_once_mutex;
static std::condition_variable g_once_done;

void os_once(OsOnce* once, OsOnceFunction* fn) {
    if (atomic_load(&once->state) == 2) return;
    std::unique_lock<std::mutex> lock(g_once_mutex);
    if (once->state == 0) {
        once->state = 1;
        lock.unlock();
        fn();
        lock.lock();
        atomic_store(&once->state, 2u);
        g_once_done.notify_all();
        return;
    }
    g_once_done.wait(lock, [once] { return once->state == 2; });
}

void os_exit_now(int status) { _exit(status); }

OsLibrary* os_library_open(const char* name) { return (OsLibrary*)dlopen(name, RTLD_NOW | RTLD_LOCAL); }

void* os_library_symbol(OsLibrary* library, const char* name) {
    return library ? dlsym((void*)library, name) : 0;
}

// ---- Watching folders --------------------------------------------------------

// What a watched folder reports: entries made, written, removed or moved,
// and the folder itself going away. IN_EXCL_UNLINK keeps files that were
// unlinked while open from reporting writes.
#define OS_WATCH_MASK                                                                                          \
    (IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | \
     IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK)
#define OS_WATCH_SLOT_COUNT 256

struct OsWatchFolder {
    OsWatchFolder* next;  // in its slot, or on the free list
    int wd;               // the system's watch descriptor
    u32 flags;            // OsWatchFlags
    String path;          // absolute, ends in "/", NUL-terminated
};

struct OsWatch {
    Arena* arena;  // folder records and their paths
    int fd;
    OsWatchFolder* slots[OS_WATCH_SLOT_COUNT];  // by watch descriptor
    OsWatchFolder* free_folders;
    StringList excluded;  // folders no tree enters, ending in "/"
    alignas(struct inotify_event) u8 buffer[KB(64)];
};

// The held termination signals, readable as a file once they arrive; -1
// until os_termination_hold.
static int g_termination_fd = -1;
static bool g_termination_seen;

static OsWatchFolder* os_watch_find(OsWatch* w, int wd) {
    for (OsWatchFolder* f = w->slots[(u32)wd % OS_WATCH_SLOT_COUNT]; f; f = f->next) {
        if (f->wd == wd) return f;
    }
    return 0;
}

static void os_watch_forget(OsWatch* w, OsWatchFolder* folder) {
    OsWatchFolder** link = &w->slots[(u32)folder->wd % OS_WATCH_SLOT_COUNT];
    while (*link && *link != folder) link = &(*link)->next;
    if (*link) *link = folder->next;
    folder->next = w->free_folders;
    w->free_folders = folder;
}

static bool os_watch_excluded(OsWatch* w, String folder) {
    for (StringNode* n = w->excluded.first; n; n = n->next) {
        if (string_starts_with(folder, n->string, 0)) return true;
    }
    return false;
}

static String os_folder_path(Arena* arena, String folder) {
    if (folder.size && folder.str[folder.size - 1] == '/') return string_copy(arena, folder);
    return string_format(arena, "%.*s/", STR_ARG(folder));
}

static void os_watch_push_event(Arena* arena, OsWatchEvents* out, String path, u32 flags) {
    OsWatchEvent* e = push_struct<OsWatchEvent>(arena);
    e->path = string_copy(arena, path);
    e->flags = flags;
    SLL_QUEUE_PUSH(out->first, out->last, e);
    out->count += 1;
}

struct OsFolderStackNode {
    OsFolderStackNode* next;
    String path;  // ends in "/"
};

// Watches `folder` and, for a tree, every folder below it (an explicit
// stack, no recursion). With `out`, the files found in the folders are
// reported as changed: they were made before their folder was watched. A
// folder that is already watched (the same folder through another path, or
// a link loop) is not entered again. True when `folder` itself is watched.
static bool os_watch_add_folders(OsWatch* w, Arena* arena, OsWatchEvents* out, String folder, u32 flags) {
    Scratch scratch(arena);
    OsFolderStackNode* stack = push_struct<OsFolderStackNode>(scratch.arena);
    stack->path = os_folder_path(scratch.arena, folder);
    bool top = true, top_watched = false;
    while (stack) {
        String path = stack->path;
        SLL_STACK_POP(stack);
        bool is_top = top;
        top = false;
        if ((flags & OS_WATCH_TREE) && os_watch_excluded(w, path)) continue;
        int wd = inotify_add_watch(w->fd, (const char*)path.str, OS_WATCH_MASK);
        if (wd < 0) continue;
        OsWatchFolder* known = os_watch_find(w, wd);
        if (known) {
            if (string_equal(known->path, path)) {
                known->flags |= flags;
                top_watched = top_watched || is_top;
            }
            continue;
        }
        OsWatchFolder* record = w->free_folders;
        if (record) {
            w->free_folders = record->next;
        } else {
            record = push_struct<OsWatchFolder>(w->arena);
        }
        record->wd = wd;
        record->flags = flags;
        record->path = string_copy(w->arena, path);
        record->next = w->slots[(u32)wd % OS_WATCH_SLOT_COUNT];
        w->slots[(u32)wd % OS_WATCH_SLOT_COUNT] = record;
        top_watched = top_watched || is_top;
        if (!(flags & OS_WATCH_TREE) && !out) continue;

        DIR* dir = opendir((const char*)path.str);
        if (!dir) continue;
        for (struct dirent* d = readdir(dir); d; d = readdir(dir)) {
            if (strcmp(d->d_name, ".") == 0 || strcmp(d->d_name, "..") == 0) continue;
            struct stat st;
            if (fstatat(dirfd(dir), d->d_name, &st, 0) != 0) continue;
            String name = string_from_cstr(d->d_name);
            if (S_ISDIR(st.st_mode)) {
                if (!(flags & OS_WATCH_TREE)) continue;
                OsFolderStackNode* node = push_struct<OsFolderStackNode>(scratch.arena);
                node->path = string_format(scratch.arena, "%.*s%.*s/", STR_ARG(path), STR_ARG(name));
                SLL_STACK_PUSH(stack, node);
            } else if (out && S_ISREG(st.st_mode)) {
                Scratch name_scratch(arena);
                os_watch_push_event(arena, out,
                                    string_format(name_scratch.arena, "%.*s%.*s", STR_ARG(path), STR_ARG(name)),
                                    OS_WATCH_CHANGED);
            }
        }
        closedir(dir);
    }
    return top_watched;
}

// Stops watching every folder at or below `folder` (ending in "/").
static void os_watch_drop_below(OsWatch* w, String folder) {
    for (u64 slot = 0; slot < OS_WATCH_SLOT_COUNT; slot += 1) {
        for (OsWatchFolder* f = w->slots[slot]; f;) {
            OsWatchFolder* next = f->next;
            if (string_starts_with(f->path, folder, 0)) {
                inotify_rm_watch(w->fd, f->wd);
                os_watch_forget(w, f);
            }
            f = next;
        }
    }
}

OsWatch* os_watch_create() {
    int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) return 0;
    Arena* arena = arena_create(MB(64), KB(64));
    OsWatch* w = push_struct<OsWatch>(arena);
    w->arena = arena;
    w->fd = fd;
    return w;
}

bool os_watch_add(OsWatch* watch, String folder, u32 flags) {
    Scratch scratch;
    return os_watch_add_folders(watch, scratch.arena, 0, folder, flags);
}

void os_watch_exclude(OsWatch* watch, String folder) {
    string_list_push(watch->arena, &watch->excluded, os_folder_path(watch->arena, folder));
}

bool os_watch_has(OsWatch* watch, String folder) {
    Scratch scratch;
    String path = os_folder_path(scratch.arena, folder);
    for (u64 slot = 0; slot < OS_WATCH_SLOT_COUNT; slot += 1) {
        for (OsWatchFolder* f = watch->slots[slot]; f; f = f->next) {
            if (string_equal(f->path, path)) return true;
        }
    }
    return false;
}

// Turns the system's events in `bytes` into changes appended to `out`.
static void os_watch_take(OsWatch* w, Arena* arena, OsWatchEvents* out, u8* bytes, u64 size) {
    Scratch scratch(arena);
    for (u64 at = 0; at + sizeof(struct inotify_event) <= size;) {
        struct inotify_event* ev = (struct inotify_event*)(bytes + at);
        at += sizeof(struct inotify_event) + ev->len;
        if (ev->mask & IN_Q_OVERFLOW) {
            os_watch_push_event(arena, out, String{}, OS_WATCH_OVERFLOW);
            continue;
        }
        OsWatchFolder* folder = os_watch_find(w, ev->wd);
        if (!folder) continue;
        if (ev->mask & IN_IGNORED) {
            os_watch_forget(w, folder);
            continue;
        }
        if (ev->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
            os_watch_push_event(arena, out, string_chop(folder->path, 1), OS_WATCH_REMOVED | OS_WATCH_FOLDER);
            // A folder moved away keeps its watch at a place nobody knows.
            if (ev->mask & IN_MOVE_SELF) os_watch_drop_below(w, folder->path);
            continue;
        }
        if (ev->len == 0) continue;
        String name = string_from_cstr(ev->name);
        String path = string_format(scratch.arena, "%.*s%.*s", STR_ARG(folder->path), STR_ARG(name));
        if (ev->mask & IN_ISDIR) {
            if (ev->mask & (IN_CREATE | IN_MOVED_TO)) {
                if (folder->flags & OS_WATCH_TREE) os_watch_add_folders(w, arena, out, path, OS_WATCH_TREE);
            } else if (ev->mask & (IN_DELETE | IN_MOVED_FROM)) {
                os_watch_push_event(arena, out, path, OS_WATCH_REMOVED | OS_WATCH_FOLDER);
                if (ev->mask & IN_MOVED_FROM) os_watch_drop_below(w, os_folder_path(scratch.arena, path));
            }
            continue;
        }
        u32 flags = (ev->mask & (IN_DELETE | IN_MOVED_FROM)) ? OS_WATCH_REMOVED : OS_WATCH_CHANGED;
        os_watch_push_event(arena, out, path, flags);
    }
}

OsWatchWait os_watch_wait(Arena* arena, OsWatch* watch, u64 deadline, OsWatchEvents* out) {
    u64 count_before = out->count;
    for (;;) {
        if (g_termination_seen) return OS_WATCH_WAIT_TERMINATE;
        struct pollfd fds[2] = {{watch->fd, POLLIN, 0}, {g_termination_fd, POLLIN, 0}};
        nfds_t fd_count = g_termination_fd >= 0 ? 2 : 1;
        int timeout = -1;
        if (deadline != DEADLINE_NONE) {
            u64 now = os_now_microseconds();
            timeout = deadline <= now ? 0 : (int)MIN((deadline - now + 999) / 1000, (u64)INT_MAX);
        }
        int ready = poll(fds, fd_count, timeout);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return OS_WATCH_WAIT_TIMEOUT;
        if (fd_count == 2 && (fds[1].revents & POLLIN)) {
            struct signalfd_siginfo info;
            while (read(g_termination_fd, &info, sizeof(info)) == (ssize_t)sizeof(info)) {
            }
            g_termination_seen = true;
            return OS_WATCH_WAIT_TERMINATE;
        }
        if (fds[0].revents & POLLIN) {
            for (;;) {
                ssize_t n = read(watch->fd, watch->buffer, sizeof(watch->buffer));
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                os_watch_take(watch, arena, out, watch->buffer, (u64)n);
            }
            if (out->count > count_before) return OS_WATCH_WAIT_EVENTS;
        }
        if (ready == 0) return OS_WATCH_WAIT_TIMEOUT;
    }
}

// ---- Termination requests -------------------------------------------------------

void os_termination_hold() {
    if (g_termination_fd >= 0) return;
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, 0);
    g_termination_fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
}

// ---- Sockets -------------------------------------------------------------------

OsSocket os_listen_loopback(u16 port, OsListenResult* result) {
    signal(SIGPIPE, SIG_IGN);
    *result = OS_LISTEN_FAILED;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return OS_SOCKET_INVALID;
    // A port left in TIME_WAIT by an earlier run is free to take again; a
    // port another socket listens on is not (on Linux this option does not
    // share listening ports).
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    struct sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, (struct sockaddr*)&address, sizeof(address)) != 0) {
        if (errno == EADDRINUSE) *result = OS_LISTEN_IN_USE;
        close(fd);
        return OS_SOCKET_INVALID;
    }
    if (listen(fd, 64) != 0) {
        close(fd);
        return OS_SOCKET_INVALID;
    }
    *result = OS_LISTEN_OK;
    return (OsSocket)fd;
}

bool os_tcp_connects(String host, u16 port, u64 timeout_ms) {
    Scratch scratch;
    String name = string_copy(scratch.arena, host);
    char service[8];
    snprintf(service, sizeof(service), "%u", (unsigned)port);
    struct addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo* addresses = 0;
    if (getaddrinfo((const char*)name.str, service, &hints, &addresses) != 0) return false;
    u64 deadline = os_now_microseconds() + timeout_ms * 1000;
    bool connected = false;
    for (struct addrinfo* a = addresses; a && !connected; a = a->ai_next) {
        int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) continue;
        if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
            connected = true;
        } else if (errno == EINPROGRESS) {
            struct pollfd p = {fd, POLLOUT, 0};
            for (;;) {
                u64 now = os_now_microseconds();
                if (now >= deadline) break;
                int ready = poll(&p, 1, (int)((deadline - now + 999) / 1000));
                if (ready < 0 && errno == EINTR) continue;
                if (ready == 1) {
                    int error = 0;
                    socklen_t length = sizeof(error);
                    connected = getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
                }
                break;
            }
        }
        close(fd);
    }
    freeaddrinfo(addresses);
    return connected;
}

void os_close_socket(OsSocket socket) {
    if (socket != OS_SOCKET_INVALID) close((int)socket);
}
