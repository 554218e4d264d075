// Tests that replace malloc to make one request fail can do so only where the
// allocator is the C library's: the address sanitizer brings its own.
#pragma once

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ALLOCATOR_REPLACED_ELSEWHERE 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ALLOCATOR_REPLACED_ELSEWHERE 1
#endif
