/* Descriptor-based discrete Fourier transforms.
 *
 * Create a descriptor for a precision, domain, dimension and lengths, change
 * its configuration with DftSetValue, commit it, compute as often as needed,
 * free it. Every entry point returns a 32-bit status, 0 on success.
 *
 * Threads: a descriptor must not be used by two threads at once (its
 * commit-time workspace is written by compute); different descriptors may be.
 * Scaling: both scales default to 1.0, so a forward transform followed by a
 * backward one multiplies the data by the number of elements.
 * Layout: lengths are given slowest dimension first; strides and distances
 * count elements, and a stride array holds the offset of the first element
 * followed by one stride per dimension, slowest first.
 */
#ifndef REGVIAFFT_DFT_H
#define REGVIAFFT_DFT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A complex double, real part first; the element of every complex array. */
typedef struct _DFT_Complex16 {
    double real;
    double imag;
} _DFT_Complex16;

struct DftDescriptor;
typedef struct DftDescriptor* DFT_DESCRIPTOR_HANDLE;

/* Status codes. */
enum {
    DFT_NO_ERROR = 0,
    DFT_MEMORY_ERROR = 1,
    DFT_INVALID_CONFIGURATION = 2,
    DFT_INCONSISTENT_CONFIGURATION = 3,
    DFT_BAD_DESCRIPTOR = 5,
    DFT_UNIMPLEMENTED = 6,
    DFT_INTERNAL_ERROR = 7,
    DFT_NUMBER_OF_THREADS_ERROR = 8,
    DFT_1D_LENGTH_EXCEEDS_INT32 = 9
};

/* Configuration parameters of DftSetValue. */
enum {
    DFT_FORWARD_DOMAIN = 0,
    DFT_DIMENSION = 1,
    DFT_LENGTHS = 2,
    DFT_PRECISION = 3,
    DFT_FORWARD_SCALE = 4,
    DFT_BACKWARD_SCALE = 5,
    DFT_FORWARD_SIGN = 6,
    DFT_NUMBER_OF_TRANSFORMS = 7,
    DFT_COMPLEX_STORAGE = 8,
    DFT_REAL_STORAGE = 9,
    DFT_CONJUGATE_EVEN_STORAGE = 10,
    DFT_PLACEMENT = 11,
    DFT_INPUT_STRIDES = 12,
    DFT_OUTPUT_STRIDES = 13,
    DFT_INPUT_DISTANCE = 14,
    DFT_OUTPUT_DISTANCE = 15,
    DFT_INITIALIZATION_EFFORT = 16,
    DFT_WORKSPACE = 17,
    DFT_ORDERING = 18,
    DFT_TRANSPOSE = 19,
    DFT_DESCRIPTOR_NAME = 20,
    DFT_PACKED_FORMAT = 21,
    DFT_COMMIT_STATUS = 22,
    DFT_VERSION = 23,
    DFT_FORWARD_ORDERING = 24,
    DFT_BACKWARD_ORDERING = 25,
    DFT_NUMBER_OF_USER_THREADS = 26
};

/* Configuration values. */
enum {
    DFT_COMMITTED = 30,
    DFT_UNCOMMITTED = 31,
    DFT_COMPLEX = 32,
    DFT_REAL = 33,
    DFT_SINGLE = 35,
    DFT_DOUBLE = 36,
    DFT_COMPLEX_COMPLEX = 39,
    DFT_COMPLEX_REAL = 40,
    DFT_REAL_COMPLEX = 41,
    DFT_REAL_REAL = 42,
    DFT_INPLACE = 43,
    DFT_NOT_INPLACE = 44,
    DFT_ORDERED = 48,
    DFT_BACKWARD_SCRAMBLED = 49,
    DFT_NONE = 53,
    DFT_CCS_FORMAT = 54,
    DFT_PACK_FORMAT = 55,
    DFT_PERM_FORMAT = 56,
    DFT_CCE_FORMAT = 57
};

/* General create: with dimension 1 the length follows by value (int32_t),
 * otherwise a pointer to `dimension` int32_t lengths, slowest first. The handle
 * is null after any failure. */
int32_t DftCreateDescriptor(DFT_DESCRIPTOR_HANDLE* handle, int32_t precision, int32_t domain,
                            int32_t dimension, ...);
/* Precision fixed to single or double; lengths always by pointer. */
int32_t DftCreateDescriptor_s_md(DFT_DESCRIPTOR_HANDLE* handle, int32_t domain, int32_t dimension,
                                 const int32_t* lengths);
int32_t DftCreateDescriptor_d_md(DFT_DESCRIPTOR_HANDLE* handle, int32_t domain, int32_t dimension,
                                 const int32_t* lengths);

/* The value is an int32_t, a double (scales), a pointer to dimension+1
 * int32_t (strides) or a terminated string (name), as the parameter says. */
int32_t DftSetValue(DFT_DESCRIPTOR_HANDLE handle, int32_t parameter, ...);

int32_t DftCommitDescriptor(DFT_DESCRIPTOR_HANDLE handle);

/* Data pointers follow the handle: input then output out of place, one array
 * in place. Out of place, the input is left unchanged. */
int32_t DftComputeForward(DFT_DESCRIPTOR_HANDLE handle, void* data, ...);
int32_t DftComputeBackward(DFT_DESCRIPTOR_HANDLE handle, void* data, ...);

/* Frees the descriptor and everything its commit built; nulls the handle. */
int32_t DftFreeDescriptor(DFT_DESCRIPTOR_HANDLE* handle);

#ifdef __cplusplus
}
#endif

#endif
