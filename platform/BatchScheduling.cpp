#include "platform/BatchScheduling.h"

#include <pthread.h>

namespace Platform {

BatchSchedulingScope::BatchSchedulingScope() {
    if (pthread_getschedparam(pthread_self(), &policy_, &param_) != 0)
        return;
    const sched_param batch{};
    entered_ = pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch) == 0;
}

BatchSchedulingScope::~BatchSchedulingScope() {
    if (entered_)
        pthread_setschedparam(pthread_self(), policy_, &param_);
}

} // namespace Platform
