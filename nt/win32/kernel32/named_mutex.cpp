// Mutexes: robust, recursive pthread mutexes.  A named one lives in its
// namespace file under /dev/shm, process-shared, so every process of the
// machine waits on the same lock word, and a dead owner shows as an
// abandoned wait.  A referenced mutex (ExMutantObjectType) is released
// without its handle.  Mappings of named mutexes are kept for the life of the
// process: a process that unmaps a robust mutex it holds and then dies
// leaves it locked for good.
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <new>
#include <string>

#include "kernel32/host_error.h"
#include "kernel32/kernel_object.h"
#include "ntdll/object_namespace.h"
#include "winternl.h"

namespace quarn::win32 {
namespace {

constexpr size_t kMutexFileSize = 64;
constexpr int kSpinRounds = 200;
static_assert(sizeof(pthread_mutex_t) <= kMutexFileSize);

void initialise(pthread_mutex_t *mutex, bool shared) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    if (shared) pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
    pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

// The process's one mapping of each mutex file, never unmapped.  It maps a
// descriptor of its own: a mapping pins its open file description, and with
// it the holder's lock, which must end when the handle closes.
pthread_mutex_t *map_for_life(int fd) {
    static std::mutex guard;
    static auto *mappings = new std::map<std::pair<dev_t, ino_t>, void *>;
    struct stat st {};
    if (fstat(fd, &st) == -1) {
        fail_with_errno(errno);
        return nullptr;
    }
    if (static_cast<size_t>(st.st_size) < kMutexFileSize) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::lock_guard lock(guard);
    auto key = std::make_pair(st.st_dev, st.st_ino);
    auto it = mappings->find(key);
    if (it != mappings->end()) return static_cast<pthread_mutex_t *>(it->second);
    // Reopened through the descriptor, not the name: the name may already
    // lead to another file once a last holder has removed this one.
    int own = ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDWR | O_CLOEXEC);
    if (own == -1) {
        fail_with_errno(errno);
        return nullptr;
    }
    void *view = mmap(nullptr, kMutexFileSize, PROT_READ | PROT_WRITE, MAP_SHARED, own, 0);
    ::close(own);
    if (view == MAP_FAILED) {
        fail_with_errno(errno);
        return nullptr;
    }
    mappings->emplace(key, view);
    return static_cast<pthread_mutex_t *>(view);
}

class Mutex final : public KernelObject {
public:
    // A private mutex of this process.
    Mutex() : own_(new pthread_mutex_t), mutex_(own_.get()) { initialise(mutex_, false); }
    // A named mutex in the machine's namespace.
    Mutex(std::unique_ptr<NamespaceEntry> entry, pthread_mutex_t *mutex) : entry_(std::move(entry)), mutex_(mutex) {}
    ~Mutex() override {
        if (own_) pthread_mutex_destroy(mutex_);
    }

    DWORD wait(DWORD milliseconds) override {
        // An uncontended mutex is taken without reading the clock for a deadline.
        int r = pthread_mutex_trylock(mutex_);
        if (r == EBUSY && milliseconds != 0) r = spin_for_release();
        if (r == EBUSY && milliseconds != 0)
            r = milliseconds == INFINITE ? pthread_mutex_lock(mutex_) : lock_within(milliseconds);
        switch (r) {
        case 0: return WAIT_OBJECT_0;
        case EOWNERDEAD:
            // Without this the mutex turns unrecoverable when we unlock it.
            pthread_mutex_consistent(mutex_);
            return WAIT_ABANDONED;
        case EBUSY:
        case ETIMEDOUT: return WAIT_TIMEOUT;
        default:
            SetLastError(r == EAGAIN ? ERROR_TOO_MANY_POSTS : ERROR_GEN_FAILURE);
            return WAIT_FAILED;
        }
    }

    BOOL release() {
        int r = pthread_mutex_unlock(mutex_);
        if (r == 0) return TRUE;
        SetLastError(r == EPERM ? ERROR_NOT_OWNER : ERROR_GEN_FAILURE);
        return FALSE;
    }

    // One release; the signal state before it, from the recursion count
    // glibc keeps for its owner (1 when held once).
    LONG release_once() {
        int held = __atomic_load_n(&mutex_->__data.__count, __ATOMIC_RELAXED);
        if (pthread_mutex_unlock(mutex_) != 0) return STATUS_MUTANT_NOT_OWNED;
        return 1 - held;
    }

    void take_initial_ownership() { pthread_mutex_lock(mutex_); }

private:
    // Holders keep a mutex for well under a microsecond as a rule: watching
    // the lock word for a while costs less than sleeping in the kernel and
    // being woken.  Only a word that looks free is tried, so waiters do not
    // fight over its cache line.
    int spin_for_release() {
        for (int round = 0; round < kSpinRounds; ++round) {
            pause();
            if (__atomic_load_n(&mutex_->__data.__lock, __ATOMIC_RELAXED) != 0) continue;
            int r = pthread_mutex_trylock(mutex_);
            if (r != EBUSY) return r;
        }
        return EBUSY;
    }

    static void pause() {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }

    int lock_within(DWORD milliseconds) {
        timespec deadline{};
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += milliseconds / 1000;
        deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
        return pthread_mutex_clocklock(mutex_, CLOCK_MONOTONIC, &deadline);
    }

    std::unique_ptr<pthread_mutex_t> own_;
    std::unique_ptr<NamespaceEntry> entry_;
    pthread_mutex_t *mutex_;
};

std::shared_ptr<Mutex> open_named(LPSECURITY_ATTRIBUTES attributes, bool initial_owner, const char *name,
                                  bool &existed) {
    auto entry = NamespaceEntry::create(ObjectKind::mutex, name, mode_from_security(attributes, 0600),
                                        group_of_security(attributes), existed);
    if (!entry) return nullptr;
    if (!existed && ftruncate(entry->fd(), kMutexFileSize) == -1) {
        fail_with_errno(errno);
        return nullptr;
    }
    pthread_mutex_t *mutex = map_for_life(entry->fd());
    if (!mutex) return nullptr;
    if (existed) return std::make_shared<Mutex>(std::move(entry), mutex);
    // Nobody else holds the object: whatever the file holds is a leftover.
    initialise(mutex, true);
    NamespaceEntry *hold = entry.get();
    auto object = std::make_shared<Mutex>(std::move(entry), mutex);
    if (initial_owner) object->take_initial_ownership();
    hold->share();
    return object;
}

_OBJECT_TYPE mutant_type{[](const KernelObject &object) { return dynamic_cast<const Mutex *>(&object) != nullptr; }};
POBJECT_TYPE mutant_type_pointer = &mutant_type;

}  // namespace
}  // namespace quarn::win32

using namespace quarn::win32;

POBJECT_TYPE *ExMutantObjectType = &mutant_type_pointer;

extern "C" {

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initial_owner, LPCSTR name) {
    try {
        std::shared_ptr<Mutex> object;
        bool existed = false;
        if (name && *name) {
            object = open_named(attributes, initial_owner, name, existed);
            if (!object) return nullptr;
        } else {
            object = std::make_shared<Mutex>();
            if (initial_owner) object->take_initial_ownership();
        }
        HANDLE handle = make_handle(object);
        SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
        return handle;
    } catch (const std::bad_alloc &) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

LONG KeReleaseMutex(PVOID mutex, BOOLEAN) {
    return static_cast<Mutex *>(static_cast<KernelObject *>(mutex))->release_once();
}

BOOL ReleaseMutex(HANDLE mutex) {
    auto object = typed_object<Mutex>(mutex);
    if (!object) return FALSE;
    return object->release();
}

}  // extern "C"
