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
