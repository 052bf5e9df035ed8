// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Whether this build runs under ThreadSanitizer, which makes every instrumented step many
// times slower: sweeps that do not exercise threads can then try fewer points.
#if defined(__SANITIZE_THREAD__)
inline constexpr bool UnderThreadSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
inline constexpr bool UnderThreadSanitizer = true;
#else
inline constexpr bool UnderThreadSanitizer = false;
#endif
#else
inline constexpr bool UnderThreadSanitizer = false;
#endif

// Whether this build runs under AddressSanitizer, whose shadow memory takes terabytes of
// address space: a limit on the address space cannot stand for one on memory then.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool UnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool UnderAddressSanitizer = true;
#else
inline constexpr bool UnderAddressSanitizer = false;
#endif
#else
inline constexpr bool UnderAddressSanitizer = false;
#endif

// Either: the build is several times slower, and the largest files are left to the others.
inline constexpr bool UnderSanitizer = UnderThreadSanitizer || UnderAddressSanitizer;
