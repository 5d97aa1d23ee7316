// Marks what the shared library exports; everything else stays hidden.
#ifndef REGVIAFFT_EXPORT_H
#define REGVIAFFT_EXPORT_H

#if defined(_WIN32)
#  if defined(REGVIAFFT_BUILDING)
#    define REGVIAFFT_API __declspec(dllexport)
#  else
#    define REGVIAFFT_API __declspec(dllimport)
#  endif
#else
#  define REGVIAFFT_API __attribute__((visibility("default")))
#endif

#endif
