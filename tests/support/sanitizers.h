// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// GCC tells a sanitizer by a macro, Clang by __has_feature.
#if defined(__has_feature)
#define TARSKCJS_HAS_FEATURE(feature) __has_feature(feature)
#else
#define TARSKCJS_HAS_FEATURE(feature) 0
#endif

// Whether this build runs under ThreadSanitizer, which makes every instrumented step many
// times slower: sweeps that do not exercise threads can then try fewer points.
#if defined(__SANITIZE_THREAD__) || TARSKCJS_HAS_FEATURE(thread_sanitizer)
inline constexpr bool UnderThreadSanitizer = true;
#else
inline constexpr bool UnderThreadSanitizer = false;
#endif

// Whether this build runs under AddressSanitizer, whose shadow memory takes terabytes of
// address space: a limit on the memory of a process cannot be set for one then.
#if defined(__SANITIZE_ADDRESS__) || TARSKCJS_HAS_FEATURE(address_sanitizer)
inline constexpr bool UnderAddressSanitizer = true;
#else
inline constexpr bool UnderAddressSanitizer = false;
#endif

// Either: the build is several times slower, and the largest files are left to the others.
inline constexpr bool UnderSanitizer = UnderThreadSanitizer || UnderAddressSanitizer;
