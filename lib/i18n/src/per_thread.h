// One object per thread (internal), reached through a pointer in static TLS:
// reading it costs no call into the dynamic loader and no guard check, and
// the static TLS the library asks for stays a few bytes, so that it can
// still be loaded with dlopen.
#pragma once

namespace i18n {

template <class T>
class PerThread {
public:
    // This thread's object, made on first use; NULL once the thread's
    // thread-local objects are being destroyed and it is gone.
    static T *get() {
        if (!t_object && !t_gone) {
            t_object = new T;
            t_owner.object = t_object;
        }
        return t_object;
    }

private:
    struct Owner {
        T *object = nullptr;
        ~Owner() {
            delete object;
            t_object = nullptr;
            t_gone = true;
        }
    };

    static inline thread_local T *t_object __attribute__((tls_model("initial-exec"))) = nullptr;
    static inline thread_local bool t_gone __attribute__((tls_model("initial-exec"))) = false;
    static inline thread_local Owner t_owner;  // touched once per thread
};

}  // namespace i18n
