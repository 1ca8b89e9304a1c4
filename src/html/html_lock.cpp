#include "html/html_lock.h"

CCriticalSection& GetHtmlLock() {
    static CCriticalSection lock;
    return lock;
}
