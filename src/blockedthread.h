// Starting the library's threads with every signal blocked: a signal the
// application handles (SIGINT, SIGTERM, SIGCHLD, a timer) must reach the
// application's own threads, never one of ours in the middle of a read or
// a lock. Not installed.
#ifndef WQX_BLOCKEDTHREAD_H
#define WQX_BLOCKEDTHREAD_H

#include <pthread.h>
#include <signal.h>

namespace wqx {

// pthread_create with default attributes and all signals blocked in the new
// thread; the caller's own mask is left as it was. 0 on success.
inline int startBlockedThread(pthread_t* thread, void* (*entry)(void*), void* arg) {
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    const int result = pthread_create(thread, nullptr, entry, arg);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return result;
}

}  // namespace wqx

#endif
