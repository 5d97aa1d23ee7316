// Which sanitizer instruments this build, for tests whose limits or running
// time differ under one. GCC and clang announce sanitizers differently.
#pragma once

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define REGVIAFFT_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define REGVIAFFT_TEST_SANITIZED 1
#endif
#endif
