// The atomic operations the threads share counters and states with.
#pragma once

#include <type_traits>

#include "base/core.h"

// Values take the type of the variable (an enumerator stored in a u64 is
// converted), so only the pointer decides the type.
template <typename T>
using AtomicValue = std::type_identity_t<T>;

template <typename T>
inline T atomic_load(T* value) {
    return __atomic_load_n(value, __ATOMIC_ACQUIRE);
}

template <typename T>
inline void atomic_store(T* value, AtomicValue<T> v) {
    __atomic_store_n(value, v, __ATOMIC_RELEASE);
}

// Counters: no ordering with other memory.
template <typename T>
inline T atomic_add(T* value, AtomicValue<T> v) {
    return __atomic_fetch_add(value, v, __ATOMIC_RELAXED);
}

// Reference counts: the count after the change, ordered with the memory the
// references guard.
template <typename T>
inline T atomic_increment(T* value) {
    return __atomic_add_fetch(value, (T)1, __ATOMIC_ACQ_REL);
}

template <typename T>
inline T atomic_decrement(T* value) {
    return __atomic_sub_fetch(value, (T)1, __ATOMIC_ACQ_REL);
}

// Sets `*value` to `desired` when it holds `expected`; true when it did.
template <typename T>
inline bool atomic_exchange_if(T* value, AtomicValue<T> expected, AtomicValue<T> desired) {
    return __atomic_compare_exchange_n(value, &expected, desired, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE);
}
