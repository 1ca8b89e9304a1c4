#include "chm/chm_thread.h"

#include "chm/chm_builder.h"

CChmThread::CChmThread(CChmBuilder& builder)
    : CJobThread([&builder] { return builder.Build(); }, [&builder] { builder.RequestStop(); }) {}
